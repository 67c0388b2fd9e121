// host::readReplies: the receiving side of the reply stream. Every length is checked before
// anything is allocated or copied, so arbitrary bytes end in an error, never a crash.
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "host/Net.h"
#include "host/Wire.h"

using namespace host::wire;

namespace {

// Buffered reads from a byte stream.
class Input {
  public:
    explicit Input(const host::ReadFunction& read) : source_(read), buffer_(64 * 1024) {}

    // Fills out with exactly size bytes. 1: done; 0: clean end before the first byte;
    // -1: the stream ended inside or failed (error says which).
    int read(void* out, size_t size, std::string& error) {
        char* dest = static_cast<char*>(out);
        size_t copied = 0;
        while (copied < size) {
            if (pos_ == len_) {
                long got = source_(buffer_.data(), buffer_.size(), error);
                if (got < 0) return -1;
                if (got == 0) {
                    if (copied == 0) return 0;
                    error = "the reply stream ends inside a frame";
                    return -1;
                }
                pos_ = 0;
                len_ = static_cast<size_t>(got);
            }
            size_t take = std::min(size - copied, len_ - pos_);
            std::memcpy(dest + copied, buffer_.data() + pos_, take);
            pos_ += take;
            copied += take;
        }
        return 1;
    }

  private:
    const host::ReadFunction& source_;
    std::vector<char> buffer_;
    size_t pos_ = 0, len_ = 0;
};

enum class State { Idle, InRecord, InFile };

struct Decoder {
    Decoder(host::ReplySink& s, std::string& e) : sink(s), error(e) {}
    host::ReplySink& sink;
    std::string& error;
    State state = State::Idle;
    host::ReplyRecord record;
    size_t recordBytes = 0;
    host::StreamedFileInfo file;
    uLong crc = 0;

    bool fail(const std::string& why) {
        error = why;
        return false;
    }

    // Largest payload a frame of this type may carry in the current state.
    bool checkLength(uint8_t type, uint32_t length) {
        switch (type) {
            case kRecordBegin:
            case kRecordEnd:
                return length == 4 || fail("record frame with a bad length");
            case kRecordField:
                return (length >= 4 && length - 4 <= kMaxFieldData) ||
                       fail("record field of " + std::to_string(length) + " bytes");
            case kFileBegin:
                return (length > 8 && length - 8 <= kMaxFileName) ||
                       fail("file begin frame with a bad length");
            case kFileData:
                return (length >= 1 && length <= kMaxFileData) ||
                       fail("file data frame of " + std::to_string(length) + " bytes");
            case kFileEnd:
                return length == 12 || fail("file end frame with a bad length");
            default:
                return fail("unknown frame type " + std::to_string(type));
        }
    }

    bool frame(uint8_t type, const std::vector<unsigned char>& p) {
        switch (type) {
            case kRecordBegin:
                if (state != State::Idle) return fail("record begins inside another item");
                record = host::ReplyRecord();
                record.code = getU32(p.data());
                recordBytes = 0;
                state = State::InRecord;
                return true;
            case kRecordField:
                if (state != State::InRecord) return fail("record field outside a record");
                recordBytes += p.size() - 4;
                if (record.fields.size() >= kMaxRecordFields || recordBytes > kMaxRecordBytes)
                    return fail("record too large");
                record.fields.emplace_back(
                    getU32(p.data()),
                    std::string(reinterpret_cast<const char*>(p.data()) + 4, p.size() - 4));
                return true;
            case kRecordEnd:
                if (state != State::InRecord) return fail("record end outside a record");
                record.status = static_cast<int32_t>(getU32(p.data()));
                state = State::Idle;
                sink.onRecord(record);
                return true;
            case kFileBegin: {
                if (state != State::Idle) return fail("file begins inside another item");
                file = host::StreamedFileInfo();
                file.declaredSize = getU64(p.data());
                file.name.assign(reinterpret_cast<const char*>(p.data()) + 8, p.size() - 8);
                if (!validFileName(file.name)) return fail("streamed file with an unsafe name");
                crc = crc32(0L, Z_NULL, 0);
                state = State::InFile;
                return sink.onFileBegin(file.name, file.declaredSize) ||
                       fail("the receiver refused file " + file.name);
            }
            case kFileData:
                if (state != State::InFile) return fail("file data outside a file");
                file.receivedSize += p.size();
                crc = crc32(crc, p.data(), static_cast<uInt>(p.size()));
                return sink.onFileData(reinterpret_cast<const char*>(p.data()), p.size()) ||
                       fail("the receiver stopped file " + file.name);
            case kFileEnd: {
                if (state != State::InFile) return fail("file end outside a file");
                uint64_t sentCount = getU64(p.data());
                if (sentCount != file.receivedSize)
                    return fail("file " + file.name + " ends with a count unlike its data");
                file.declaredCrc = getU32(p.data() + 8);
                file.receivedCrc = static_cast<uint32_t>(crc);
                file.ended = true;
                state = State::Idle;
                sink.onFileEnd(file);
                return true;
            }
        }
        return fail("unknown frame type");
    }
};

}  // namespace

namespace host {

bool readReplies(int fd, ReplySink& sink, std::string& error) {
    const ReadFunction read = [fd](void* buffer, size_t size, std::string& why) -> long {
        for (;;) {
            const ssize_t got = ::read(fd, buffer, size);
            if (got >= 0) return static_cast<long>(got);
            if (errno == EINTR) continue;
            why = std::string("cannot read the reply stream: ") + std::strerror(errno);
            return -1;
        }
    };
    return readReplies(read, sink, error);
}

bool readReplies(const ReadFunction& read, ReplySink& sink, std::string& error) {
    error.clear();
    Input in(read);
    Decoder decoder(sink, error);
    std::vector<unsigned char> payload;
    for (;;) {
        unsigned char header[kHeaderSize];
        int got = in.read(header, sizeof header, error);
        if (got < 0) return false;
        if (got == 0) {
            if (decoder.state == State::InRecord)
                return decoder.fail("stream ends inside a record");
            if (decoder.state == State::InFile)
                return decoder.fail("stream ends inside file " + decoder.file.name);
            return true;
        }
        uint8_t type = header[0];
        uint32_t length = getU32(header + 1);
        if (!decoder.checkLength(type, length)) return false;
        payload.resize(length);
        if (length > 0 && in.read(payload.data(), length, error) != 1) {
            if (error.empty()) error = "the reply stream ends inside a frame";
            return false;
        }
        if (!decoder.frame(type, payload)) return false;
    }
}

}  // namespace host
