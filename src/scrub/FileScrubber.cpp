// Scrubbing of one file. Reading and writing go through large buffers and the line buffer is
// reused, so memory stays the same whatever the file's size.
#include "scrub/FileScrubber.h"

#include <sys/stat.h>

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception/exception.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/ErrorMessage.h"
#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/ReplacingFile.h"
#include "scrub/CompiledRules.h"
#include "scrub/LineScrubber.h"

namespace scrub {
namespace {

const char* const kTag =
    "bool scrubSingleLogFile(const char*, const char*, std::vector<std::pair<std::string, "
    "ScrubPatternConfig_t> >*, std::map<std::string, std::string>*)";
constexpr size_t kIoBuffer = 128 << 10;
// Lines scrubbed at once: large enough that one scan serves hundreds of lines, small enough
// to stay in the core's cache with the rule tables.
constexpr size_t kBlock = 64 << 10;

// Splits a stream into lines without their "\n". A line longer than the limit is handed
// over as its first limit bytes; the rest of it is skipped.
class LineReader {
  public:
    LineReader(FILE* file, size_t limit) : file_(file), limit_(limit), buffer_(kIoBuffer) {}

    // Appends the next line to to; length: its size there. False at the end of the input or
    // on a read error (see failed()).
    bool next(std::string& to, size_t& length, bool& truncated) {
        const size_t start = to.size();
        truncated = false;
        bool any = false;
        for (;;) {
            if (pos_ == end_ && !fill()) {
                length = to.size() - start;
                return any;
            }
            any = true;
            const char* begin = buffer_.data() + pos_;
            const size_t available = end_ - pos_;
            const void* nl = memchr(begin, '\n', available);
            const size_t take =
                nl ? static_cast<size_t>(static_cast<const char*>(nl) - begin) : available;
            const size_t room = limit_ - std::min(limit_, to.size() - start);
            if (take > room) truncated = true;
            to.append(begin, std::min(take, room));
            pos_ += take;
            if (nl) {
                ++pos_;
                length = to.size() - start;
                return true;
            }
        }
    }
    bool failed() const { return failed_; }
    int error() const { return errno_; }

  private:
    bool fill() {
        pos_ = 0;
        end_ = 0;
        if (failed_) return false;
        if (!host::io::read(file_, buffer_.data(), buffer_.size(), end_)) {
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

bool keepLine(const char* line, size_t size) {
    if (size == 0) return false;
    const unsigned char first = static_cast<unsigned char>(line[0]);
    return first >= 0x20 && first < 0x80;
}

// Appends the scrubbed lines of one open source to the copy. Lines are gathered into blocks
// of about kBlock bytes (each line followed by its "\n") and scrubbed a block at a time.
CopyOutcome copyLines(FILE* in, const char* source, host::ReplacingFile& out,
                      LineScrubber* scrubber) {
    EvDebug log;
    LineReader reader(in, kMaxScrubbedFileLine);
    std::string block;
    std::vector<LineSpan> spans;
    std::string pending;  // scrubbed lines not yet handed to the stream
    bool truncated = false;
    bool writeFailed = false;
    auto flush = [&] {
        if (!pending.empty() && !out.write(pending.data(), pending.size())) writeFailed = true;
        pending.clear();
    };
    auto scrubBlock = [&] {
        if (!scrubber) {
            pending += block;
        } else if (!spans.empty()) {
            scrubber->scrubLines(block, spans, pending);
        }
        block.clear();
        spans.clear();
        if (pending.size() >= kIoBuffer) flush();
    };
    size_t length = 0;
    while (!writeFailed) {
        const size_t start = block.size();
        if (!reader.next(block, length, truncated)) break;
        if (!keepLine(block.data() + start, length)) {
            block.resize(start);
            continue;
        }
        if (truncated) {
            log.DebugLvl("scrubSingleLogFile", 5,
                         "Log line is truncated because it's too large [%s].", source);
        }
        spans.push_back({start, length});
        block.push_back('\n');
        if (block.size() >= kBlock) scrubBlock();
    }
    if (!writeFailed) {
        scrubBlock();
        flush();
    }
    if (reader.failed()) {
        log.Error(kTag, "error while reading file [%s]", source);
        errno = reader.error();
        printErrorMsg(kTag);
        return CopyOutcome::SourceUnreadable;
    }
    if (writeFailed) {
        log.Error(kTag, "error while writing file [%s]: %s", out.destination().c_str(),
                  strerror(errno));
        return CopyOutcome::WriteFailed;
    }
    return CopyOutcome::Written;
}

CopyOutcome copyAll(const std::vector<std::string>& sources, const std::string& destination,
                    LineScrubber* scrubber) {
    EvDebug log;
    std::vector<host::FileHandle> inputs;
    mode_t mode = 0600;
    for (const std::string& source : sources) {
        log.DebugLvl(kTag, 3, "Scrubbing file [%s]", source.c_str());
        bool notRegular = false;
        struct stat st;
        host::FileHandle in = host::FileHandle::openRegular(source.c_str(), &notRegular, &st);
        if (notRegular) {
            log.Error(kTag, "Not a regular file, left out: [%s]", source.c_str());
            return CopyOutcome::SourceNotRegular;
        }
        if (!in) {
            const int err = errno;
            log.Error(kTag, "Failed to open [%s]", source.c_str());
            errno = err;
            printErrorMsg(kTag);
            return CopyOutcome::SourceUnreadable;
        }
        // A copy never replaces its own source, whatever name or link leads to it.
        if (host::sameFile(source, destination)) {
            log.Error(kTag, "Refusing to write the scrubbed copy of [%s] over the file itself [%s]",
                      source.c_str(), destination.c_str());
            return CopyOutcome::DestinationIsSource;
        }
        // The copy is no more readable than its source, and never by others.
        if (inputs.empty()) mode = st.st_mode & 0600;
        inputs.push_back(std::move(in));
    }
    host::ReplacingFile out;
    if (!out.open(destination, mode)) {
        const int err = errno;
        log.Error(kTag, "Failed to open [%s]", destination.c_str());
        errno = err;
        printErrorMsg(kTag);
        return CopyOutcome::WriteFailed;
    }
    for (size_t i = 0; i < sources.size(); ++i) {
        const CopyOutcome outcome = copyLines(inputs[i].get(), sources[i].c_str(), out, scrubber);
        if (outcome != CopyOutcome::Written) return outcome;
    }
    // A copy that could not be written whole (a full disk) is not a scrubbed copy.
    if (!out.commit()) {
        log.Error(kTag, "error while writing file [%s]: %s", destination.c_str(), strerror(errno));
        return CopyOutcome::WriteFailed;
    }
    return CopyOutcome::Written;
}

}  // namespace

CopyOutcome scrubFilesInto(const std::vector<std::string>& sources, const std::string& destination,
                           LineScrubber* scrubber) {
    EvDebug log;
    try {
        return copyAll(sources, destination, scrubber);
    } catch (const boost::exception& e) {
        log.Error(kTag, "Boost Exception [%s]", boost::diagnostic_information(e).c_str());
    } catch (const std::exception& e) {
        log.Error(kTag, "Exception: %s",
                  *e.what() ? e.what() : "Exception is thrown when scrubbing");
    } catch (...) {
        log.Error(kTag, "Exception is thrown when scrubbing");
    }
    return CopyOutcome::WriteFailed;
}

}  // namespace scrub

bool scrubSingleLogFile(const char* source, const char* destination, ScrubRuleList* rules,
                        ReplacementMap* replacements) {
    if (!source || !destination) {
        EvDebug log;
        log.Error(scrub::kTag, "Null path passed to scrub a file.");
        return false;
    }
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
