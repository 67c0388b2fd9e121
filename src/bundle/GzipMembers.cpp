// Independent gzip members compressed by a few threads: the caller's thread reads input
// blocks into a ring of slots and writes finished members in order; the workers compress
// whichever slot is next. The ring bounds memory: slots × (block + its worst-case output).
#include "bundle/GzipMembers.h"

#include <libdeflate.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "host/FileHandle.h"

namespace bundle {
namespace {

struct Slot {
    enum State { Free, Filled, Busy, Done } state = Free;
    std::vector<char> input, output;
    size_t inputSize = 0, outputSize = 0;
};

class MemberPipeline {
  public:
    MemberPipeline(const GzipOptions& options, unsigned threads)
        : options_(options), slots_(2 * threads) {
        for (Slot& slot : slots_) slot.input.resize(options.memberBytes);
    }

    bool run(int inFd, FILE* out, unsigned threads, std::string& error) {
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < threads; ++i) workers.emplace_back([this] { work(); });
        bool ok = feedAndDrain(inFd, out, error);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (std::thread& worker : workers) worker.join();
        if (ok && failed_) {
            error = "cannot compress a block";
            ok = false;
        }
        return ok;
    }

  private:
    // Reads one block (up to memberBytes, fewer only at the end). -1 on a read error.
    static ssize_t readBlock(int fd, char* data, size_t size) {
        size_t got = 0;
        while (got < size) {
            ssize_t n = read(fd, data + got, size - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return -1;
            if (n == 0) break;
            got += static_cast<size_t>(n);
        }
        return static_cast<ssize_t>(got);
    }

    bool feedAndDrain(int inFd, FILE* out, std::string& error) {
        size_t nextRead = 0, nextWrite = 0;
        bool atEnd = false;
        while (!atEnd || nextWrite < nextRead) {
            // Fill free slots while there is input and room ahead of the writer.
            while (!atEnd && nextRead - nextWrite < slots_.size()) {
                Slot& slot = slots_[nextRead % slots_.size()];
                ssize_t got = readBlock(inFd, slot.input.data(), slot.input.size());
                if (got < 0) {
                    error = std::string("cannot read the input: ") + strerror(errno);
                    return false;
                }
                if (got == 0 && nextRead > 0) {
                    atEnd = true;
                    break;
                }
                // An empty input still gets one (empty) member: a gzip file is never empty.
                if (static_cast<size_t>(got) < slot.input.size()) atEnd = true;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    slot.inputSize = static_cast<size_t>(got);
                    slot.state = Slot::Filled;
                    queue_.push_back(nextRead % slots_.size());
                }
                ready_.notify_one();
                ++nextRead;
            }
            if (nextWrite == nextRead) break;
            Slot& slot = slots_[nextWrite % slots_.size()];
            {
                std::unique_lock<std::mutex> lock(mutex_);
                done_.wait(lock, [&] { return slot.state == Slot::Done || failed_; });
                if (failed_) return true;  // reported by run()
            }
            if (!host::io::write(out, slot.output.data(), slot.outputSize)) {
                error = std::string("cannot write the compressed file: ") + strerror(errno);
                return false;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slot.state = Slot::Free;
            }
            ++nextWrite;
        }
        return true;
    }

    void work() {
        std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
            libdeflate_alloc_compressor(options_.level), libdeflate_free_compressor);
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;
                index = queue_.front();
                queue_.erase(queue_.begin());
                slots_[index].state = Slot::Busy;
            }
            Slot& slot = slots_[index];
            size_t written = 0;
            if (compressor) {
                const size_t bound =
                    libdeflate_gzip_compress_bound(compressor.get(), slot.input.size());
                if (slot.output.size() < bound) slot.output.resize(bound);
                written =
                    libdeflate_gzip_compress(compressor.get(), slot.input.data(), slot.inputSize,
                                             slot.output.data(), slot.output.size());
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slot.outputSize = written;
                slot.state = Slot::Done;
                if (written == 0) failed_ = true;
            }
            done_.notify_all();
        }
    }

    const GzipOptions options_;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable ready_, done_;
    std::vector<size_t> queue_;
    bool stopping_ = false;
    bool failed_ = false;
};

}  // namespace

bool gzipMembers(int inFd, FILE* out, const GzipOptions& options, std::string& error) {
    if (options.memberBytes == 0 || options.level < 1 || options.level > 12) {
        error = "invalid gzip options";
        return false;
    }
    unsigned threads = options.threads;
    if (threads == 0) threads = std::thread::hardware_concurrency();
    if (threads == 0) threads = 1;
    if (threads > 8) threads = 8;
    MemberPipeline pipeline(options, threads);
    return pipeline.run(inFd, out, threads, error);
}

}  // namespace bundle
