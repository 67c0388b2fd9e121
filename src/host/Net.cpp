// The requester's connection and the writers of the reply stream.
#include "host/Net.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "host/Log.h"
#include "host/Wire.h"

using namespace host::wire;

struct CTeSocket::Shared {
    int fd = -1;
    std::shared_ptr<host::StreamTransport> transport;  // owns fd when set
    std::mutex writeMutex;  // one frame sequence at a time, never interleaved
    std::atomic<bool> broken{false};
    std::atomic<long long> sendLimitMs{CTeSocket::kDefaultSendTimeLimit.count()};
    ~Shared() {
        if (fd >= 0 && !transport) close(fd);
    }
};

CTeSocket::CTeSocket(int fd) : shared_(std::make_shared<Shared>()) {
    shared_->fd = fd;
}

CTeSocket::CTeSocket(std::shared_ptr<host::StreamTransport> transport)
    : shared_(std::make_shared<Shared>()) {
    shared_->fd = transport ? transport->fd() : -1;
    shared_->transport = std::move(transport);
}

int CTeSocket::fd() const {
    return shared_ ? shared_->fd : -1;
}

bool CTeSocket::broken() const {
    return shared_ && shared_->broken.load();
}

bool CTeSocket::peerHungUp() const {
    const int descriptor = fd();
    if (descriptor < 0) return false;
    pollfd p{descriptor, 0, 0};
    if (::poll(&p, 1, 0) != 1 || (p.revents & (POLLHUP | POLLERR)) == 0) return false;
    // Whoever reports on the request must see the hang-up, even though no write failed.
    shared_->broken = true;
    return true;
}

CTeError CTeSocket::sendAll(const void* data, size_t size) {
    if (!shared_ || shared_->fd < 0)
        return CTeError(EBADF, "no connection to the requester", SL_CODE_LOCATION);
    std::lock_guard<std::mutex> lock(shared_->writeMutex);
    if (shared_->broken)
        return CTeError(EPIPE, "the connection to the requester is broken", SL_CODE_LOCATION);
    if (shared_->transport) {
        CTeError err = shared_->transport->writeAll(data, size);
        if (err.IsError()) {
            shared_->broken = true;
            EvDebug log;
            log.Error("CTeSocket::sendAll", "Writing to the requester failed: %s",
                      err.AsString().c_str());
        }
        return err;
    }
    const char* p = static_cast<const char*>(data);
    const auto limit = std::chrono::milliseconds(shared_->sendLimitMs.load());
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (size > 0) {
        // MSG_NOSIGNAL: a peer that went away is an error value here, never SIGPIPE.
        // MSG_DONTWAIT: a full socket waits in poll below, which has a limit.
        ssize_t put = send(shared_->fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            struct pollfd wait = {shared_->fd, POLLOUT, 0};
            const int ready =
                left.count() > 0
                    ? poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)))
                    : 0;
            if (ready > 0 || (ready < 0 && errno == EINTR)) continue;
            if (ready == 0) errno = ETIMEDOUT;
        }
        if (put <= 0) {
            int err = put < 0 ? errno : EPIPE;
            shared_->broken = true;
            EvDebug log;
            log.Error("CTeSocket::sendAll", "Writing to the requester failed: %s",
                      std::strerror(err));
            return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, err, "cannot write to the requester");
        }
        p += put;
        size -= static_cast<size_t>(put);
        deadline = std::chrono::steady_clock::now() + limit;
    }
    return CTeError();
}

void CTeSocket::setSendTimeLimit(std::chrono::milliseconds limit) {
    if (shared_) shared_->sendLimitMs = limit.count() > 0 ? limit.count() : 1;
}

CTeError CTeSocket::createPair(CTeSocket& libraryEnd, CTeSocket& requesterEnd) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot create a socket pair");
    libraryEnd = CTeSocket(fds[0]);
    requesterEnd = CTeSocket(fds[1]);
    return CTeError();
}

int EvReturnData::begin(uint32_t code, int reserved, CTeSocket socket, bool flag) {
    if (open_) {
        EvDebug log;
        log.Error("EvReturnData::begin", "Record %u was never ended; it is dropped", code_);
    }
    socket_ = socket.isOpen() ? socket : (network_ ? network_->socket() : CTeSocket());
    code_ = code;
    fields_.clear();
    open_ = true;
    return 0;
}

int EvReturnData::add(uint32_t tag, const void* data, size_t length) {
    EvDebug log;
    if (!open_) {
        log.Error("EvReturnData::add", "Field %u added outside a record", tag);
        return -1;
    }
    size_t total = length;
    for (const auto& field : fields_) total += field.second.size();
    if (length > kMaxFieldData || fields_.size() >= kMaxRecordFields || total > kMaxRecordBytes) {
        log.Error("EvReturnData::add", "Field %u of record %u is too large (%zu bytes)", tag, code_,
                  length);
        return -1;
    }
    fields_.emplace_back(
        tag, std::string(static_cast<const char*>(data ? data : ""), data ? length : 0));
    return 0;
}

namespace {

std::string encodeRecord(uint32_t code, const std::vector<std::pair<uint32_t, std::string>>& fields,
                         int status) {
    std::string frames;
    putHeader(frames, kRecordBegin, 4);
    putU32(frames, code);
    for (const auto& field : fields) {
        putHeader(frames, kRecordField, static_cast<uint32_t>(4 + field.second.size()));
        putU32(frames, field.first);
        frames += field.second;
    }
    putHeader(frames, kRecordEnd, 4);
    putU32(frames, static_cast<uint32_t>(status));
    return frames;
}

}  // namespace

int EvReturnData::end(int status) {
    CTeSocket target;
    std::string frames;
    if (open_) {
        target = socket_;
        frames = encodeRecord(code_, fields_, status);
        open_ = false;
        fields_.clear();
        socket_ = CTeSocket();
    } else {
        // A status with no record before it travels as a record of code 0.
        if (network_) target = network_->socket();
        frames = encodeRecord(0, {}, status);
    }
    if (!target.isOpen()) {
        EvDebug log;
        log.Error("EvReturnData::end", "No connection to send the record to");
        return -1;
    }
    return target.sendAll(frames.data(), frames.size()).IsError() ? -1 : 0;
}

namespace {

bool sendFrame(CTeSocket& socket, FrameType type, const std::string& payload) {
    std::string frame;
    frame.reserve(kHeaderSize + payload.size());
    putHeader(frame, type, static_cast<uint32_t>(payload.size()));
    frame += payload;
    return !socket.sendAll(frame.data(), frame.size()).IsError();
}

}  // namespace

int viewFileContents(const char* path, CTeSocket socket, int flags, CWyNetwork* network) {
    EvDebug log;
    const char* tag = "viewFileContents";
    if (!socket.isOpen() && network) socket = network->socket();
    if (!path || !*path || !socket.isOpen()) {
        log.Error(tag, "Nothing to send: no file or no connection");
        return -1;
    }
    std::string name = path;
    if (name.rfind('/') != std::string::npos) name.erase(0, name.rfind('/') + 1);
    if (!validFileName(name)) {
        log.Error(tag, "Cannot send [%s]: its name is not a valid file name", path);
        return -1;
    }
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        log.Error(tag, "Cannot open [%s]: %s", path, std::strerror(errno));
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        log.Error(tag, "Cannot send [%s]: not a regular file", path);
        close(fd);
        return -1;
    }
    std::string payload;
    putU64(payload, static_cast<uint64_t>(st.st_size));
    payload += name;
    if (!sendFrame(socket, kFileBegin, payload)) {
        close(fd);
        return -1;
    }
    // Streamed in blocks: the file is never held whole in memory.
    std::string block(kMaxFileData, '\0');
    uint64_t sent = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    int result = 0;
    for (;;) {
        ssize_t got = read(fd, &block[0], block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            log.Error(tag, "Reading [%s] failed after %llu bytes: %s", path,
                      static_cast<unsigned long long>(sent), std::strerror(errno));
            result = -1;
            break;
        }
        if (got == 0) break;
        std::string frame;
        putHeader(frame, kFileData, static_cast<uint32_t>(got));
        frame.append(block.data(), static_cast<size_t>(got));
        if (socket.sendAll(frame.data(), frame.size()).IsError()) {
            close(fd);
            return -1;
        }
        crc = crc32(crc, reinterpret_cast<const Bytef*>(block.data()), static_cast<uInt>(got));
        sent += static_cast<uint64_t>(got);
    }
    close(fd);
    if (sent != static_cast<uint64_t>(st.st_size)) {
        log.Error(tag, "File [%s] changed while it was sent: %llu bytes announced, %llu sent", path,
                  static_cast<unsigned long long>(st.st_size),
                  static_cast<unsigned long long>(sent));
        result = -1;
    }
    std::string end;
    putU64(end, sent);
    putU32(end, static_cast<uint32_t>(crc));
    if (!sendFrame(socket, kFileEnd, end)) return -1;
    return result;
}
