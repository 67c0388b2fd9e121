#include "logselect/OrderedDump.h"

#include <cerrno>

#include "host/FileHandle.h"

namespace logselect {

struct OrderedDump::Part {
    OrderedDump* dump;
    size_t index;
    std::string pending;
    bool finished = false;
};

OrderedDump::OrderedDump(FILE* out, size_t parts, size_t maxPending)
    : out_(out), maxPending_(maxPending) {
    parts_.reserve(parts);
    for (size_t i = 0; i < parts; ++i) parts_.push_back(std::unique_ptr<Part>(new Part{this, i, {}, false}));
}

OrderedDump::~OrderedDump() = default;

FILE* OrderedDump::open(size_t part) {
    cookie_io_functions_t io = {nullptr, &OrderedDump::writeThunk, nullptr, nullptr};
    FILE* stream = fopencookie(parts_[part].get(), "w", io);
    if (stream) setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

ssize_t OrderedDump::writeThunk(void* cookie, const char* data, size_t size) {
    Part* part = static_cast<Part*>(cookie);
    return part->dump->write(part->index, data, size);
}

bool OrderedDump::writeOut(const char* data, size_t size) {
    if (error_ != 0) return false;
    if (!host::io::write(out_, data, size)) error_ = errno ? errno : EIO;
    return error_ == 0;
}

void OrderedDump::handOn(Part& part) {
    if (!part.pending.empty()) writeOut(part.pending.data(), part.pending.size());
    pendingTotal_ -= part.pending.size();
    std::string().swap(part.pending);
}

ssize_t OrderedDump::write(size_t index, const char* data, size_t size) {
    std::unique_lock<std::mutex> hold(lock_);
    Part& part = *parts_[index];
    // Finished parts keep what they gathered until their turn, so the bound is on all of it.
    if (index != head_ && pendingTotal_ + size > maxPending_) {
        turn_.wait(hold, [&] { return head_ == index; });
    }
    if (index != head_) {
        part.pending.append(data, size);
        pendingTotal_ += size;
        return static_cast<ssize_t>(size);
    }
    handOn(part);
    if (!writeOut(data, size)) {
        errno = error_;
        return -1;
    }
    return static_cast<ssize_t>(size);
}

void OrderedDump::finish(size_t index, FILE* stream) {
    if (stream) fclose(stream);  // unbuffered: nothing is left to write
    std::lock_guard<std::mutex> hold(lock_);
    parts_[index]->finished = true;
    bool moved = false;
    while (head_ < parts_.size() && parts_[head_]->finished) {
        handOn(*parts_[head_]);
        ++head_;
        moved = true;
    }
    if (!moved) return;
    // The dump is current at the boundaries of the parts, as when one thread writes it.
    if (error_ == 0 && fflush(out_) != 0) error_ = errno ? errno : EIO;
    turn_.notify_all();
}

bool OrderedDump::writeFailed() const {
    std::lock_guard<std::mutex> hold(lock_);
    return error_ != 0;
}

int OrderedDump::writeError() const {
    std::lock_guard<std::mutex> hold(lock_);
    return error_;
}

}  // namespace logselect
