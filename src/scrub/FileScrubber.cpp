// Scrubbing of one file. Reading and writing go through large buffers and the line buffer is
// reused, so memory stays the same whatever the file's size.
#include "scrub/FileScrubber.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/exception.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/ErrorMessage.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "scrub/CompiledRules.h"
#include "scrub/LineScrubber.h"

namespace scrub {
namespace {

const char* const kTag =
    "bool scrubSingleLogFile(const char*, const char*, std::vector<std::pair<std::string, "
    "ScrubPatternConfig_t> >*, std::map<std::string, std::string>*)";
constexpr size_t kIoBuffer = 128 << 10;

// Splits a stream into lines without their "\n". A line longer than the limit is handed
// over as its first limit bytes; the rest of it is skipped.
class LineReader {
  public:
    LineReader(FILE* file, size_t limit) : file_(file), limit_(limit), buffer_(kIoBuffer) {}

    // False at the end of the input or on a read error (see failed()).
    bool next(std::string& line, bool& truncated) {
        line.clear();
        truncated = false;
        bool any = false;
        for (;;) {
            if (pos_ == end_ && !fill()) return any;
            any = true;
            const char* start = buffer_.data() + pos_;
            const size_t available = end_ - pos_;
            const void* nl = memchr(start, '\n', available);
            const size_t take =
                nl ? static_cast<size_t>(static_cast<const char*>(nl) - start) : available;
            const size_t room = limit_ - std::min(limit_, line.size());
            if (take > room) truncated = true;
            line.append(start, std::min(take, room));
            pos_ += take;
            if (nl) {
                ++pos_;
                return true;
            }
        }
    }
    bool failed() const { return failed_; }
    int error() const { return errno_; }

  private:
    bool fill() {
        pos_ = 0;
        end_ = fread(buffer_.data(), 1, buffer_.size(), file_);
        if (end_ == 0 && ferror(file_)) {
            failed_ = true;
            errno_ = errno;
        }
        return end_ > 0;
    }
    FILE* file_;
    size_t limit_;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool failed_ = false;
    int errno_ = 0;
};

bool keepLine(const std::string& line) {
    if (line.empty()) return false;
    const unsigned char first = static_cast<unsigned char>(line[0]);
    return first >= 0x20 && first < 0x80;
}

}  // namespace

bool scrubFileWith(const char* source, const char* destination, LineScrubber* scrubber,
                   bool append) {
    EvDebug log;
    if (!source || !destination) {
        log.Error(kTag, "Null path passed to scrub a file.");
        return false;
    }
    // Both are opened before either is tested: a missing source still leaves an empty copy.
    host::FileHandle in = host::FileHandle::open(source, "r");
    const int inErrno = errno;
    host::FileHandle out = host::FileHandle::open(destination, append ? "a" : "w");
    const int openErrno = in ? errno : inErrno;
    log.DebugLvl(kTag, 3, "Scrubbing file [%s]", source);
    if (!in || !out) {
        log.Error(kTag, "Failed to open [%s]", in ? destination : source);
        errno = openErrno;
        printErrorMsg(kTag);
        return false;
    }
    setvbuf(out.get(), nullptr, _IONBF, 0);  // lines are gathered into large writes below
    try {
        LineReader reader(in.get(), kMaxScrubbedFileLine);
        std::string line;
        std::string pending;  // scrubbed lines not yet handed to the stream
        pending.reserve(kIoBuffer + kMaxScrubbedFileLine + 1);
        bool truncated = false;
        bool writeFailed = false;
        auto flush = [&] {
            if (!pending.empty() && !out.write(pending.data(), pending.size())) writeFailed = true;
            pending.clear();
        };
        while (!writeFailed && reader.next(line, truncated)) {
            if (!keepLine(line)) continue;
            if (truncated) {
                log.DebugLvl("scrubSingleLogFile", 5,
                             "Log line is truncated because it's too large [%s].", source);
            }
            if (scrubber) scrubber->scrub(line);
            pending += line;
            pending.push_back('\n');
            if (pending.size() >= kIoBuffer) flush();
        }
        if (!writeFailed) flush();
        if (reader.failed()) {
            log.Error(kTag, "error while reading file [%s]", source);
            errno = reader.error();
            printErrorMsg(kTag);
            return false;
        }
        // A copy that could not be written whole (a full disk) is not a scrubbed copy.
        if (writeFailed || !out.close()) {
            log.Error(kTag, "error while writing file [%s]: %s", destination, strerror(errno));
            return false;
        }
        return true;
    } catch (const boost::exception& e) {
        log.Error(kTag, "Boost Exception [%s]", boost::diagnostic_information(e).c_str());
    } catch (const std::exception& e) {
        log.Error(kTag, "Exception: %s",
                  *e.what() ? e.what() : "Exception is thrown when scrubbing");
    } catch (...) {
        log.Error(kTag, "Exception is thrown when scrubbing");
    }
    return false;
}

}  // namespace scrub

bool scrubSingleLogFile(const char* source, const char* destination, ScrubRuleList* rules,
                        ReplacementMap* replacements) {
    if (!rules) return scrub::scrubFileWith(source, destination, nullptr);
    std::unique_ptr<scrub::LineScrubber> scrubber;
    try {
        scrubber = std::make_unique<scrub::LineScrubber>(
            std::make_shared<const scrub::CompiledRules>(*rules), scrub::NameSource(replacements));
    } catch (const std::exception& e) {
        EvDebug log;
        log.Error("scrubSingleLogFile", "Exception: %s", e.what());
        return false;
    }
    return scrub::scrubFileWith(source, destination, scrubber.get());
}
