// Reply records and streamed files of a request, written into an output folder.
#include "ReplyWriter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sstream>

#include "collector/infoNLogsCollector.h"

namespace tooling {
namespace {

constexpr size_t kMaxFileName = 255;
constexpr int kMaxSuffix = 999;

// Control characters and DEL in a name or text from the peer would reach the terminal.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

const std::string* findField(const host::ReplyRecord& record, uint32_t tag) {
    for (const auto& field : record.fields)
        if (field.first == tag) return &field.second;
    return nullptr;
}

std::string describeVersion(const host::ReplyRecord& record) {
    const std::string* data = findField(record, REPLY_VERSION_TAG);
    if (data == nullptr || data->size() < 4) return "product version: (malformed record)";
    std::string text = data->substr(4);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return "product version: " + (text.empty() ? std::string("(unknown)") : printable(text));
}

std::string describeTime(const host::ReplyRecord& record) {
    const std::string* data = findField(record, REPLY_TIME_TAG);
    if (data == nullptr || data->size() != 4) return "client time: (malformed record)";
    uint32_t wire = 0;
    std::memcpy(&wire, data->data(), 4);
    const time_t when = static_cast<time_t>(ntohl(wire));
    struct tm local {};
    char text[32] = "?";
    if (::localtime_r(&when, &local) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return "client time: " + std::string(text) + " (" + std::to_string(when) + ")";
}

std::string describeBundleName(const host::ReplyRecord& record) {
    const std::string* data = findField(record, REPLY_BUNDLE_NAME_TAG);
    if (data == nullptr) return "bundle name: (malformed record)";
    return "bundle name: " + printable(*data);
}

// "name.tar.gz" -> "name-2.tar.gz": the number goes before the first extension.
std::string withSuffix(const std::string& name, int n) {
    const size_t dot = name.find('.', 1);
    const std::string tag = "-" + std::to_string(n);
    if (dot == std::string::npos) return name + tag;
    return name.substr(0, dot) + tag + name.substr(dot);
}

// Moves from to to unless to exists. EEXIST when it does.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    // File systems without the flag: a hard link fails atomically on an existing name.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

bool isSafeFileName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxFileName && name.find('/') == std::string::npos &&
           name.find("..") == std::string::npos && name.find('\0') == std::string::npos;
}

std::string describeRecord(const host::ReplyRecord& record) {
    std::string line;
    switch (record.code) {
        case REPLY_VERSION_CODE:
            line = describeVersion(record);
            break;
        case REPLY_TIME_CODE:
            line = describeTime(record);
            break;
        case REPLY_BUNDLE_NAME_CODE:
            line = describeBundleName(record);
            break;
        case 0:
            return record.status == 0 ? "request status: success"
                                      : "request status: failure reported by the library";
        default:
            line = "record " + std::to_string(record.code) + " with " +
                   std::to_string(record.fields.size()) + " field(s)";
    }
    if (record.status != 0) line += " [failure status " + std::to_string(record.status) + "]";
    return line;
}

ReplyWriter::ReplyWriter(std::string outDir, std::ostream& report, FILE* progress)
    : outDir_(std::move(outDir)), report_(report), progress_(progress) {}

ReplyWriter::~ReplyWriter() {
    if (fd_ >= 0) ::close(fd_);
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void ReplyWriter::onRecord(const host::ReplyRecord& record) {
    report_ << describeRecord(record) << "\n";
    if (record.status != 0) ++failureRecords_;
    if (record.code == REPLY_BUNDLE_NAME_CODE) {
        const std::string* name = findField(record, REPLY_BUNDLE_NAME_TAG);
        pendingName_ = name != nullptr ? *name : std::string();  // empty: refused later
    }
}

bool ReplyWriter::onFileBegin(const std::string& name, uint64_t size) {
    if (receiving_) discardCurrent("file \"" + printable(streamName_) + "\" had no end frame");
    receiving_ = true;
    streamName_ = name;
    targetName_ = name;
    declared_ = size;
    received_ = 0;
    writeError_.clear();
    shownPercent_ = -1;
    if (pendingName_) {
        if (isSafeFileName(*pendingName_)) {
            targetName_ = *pendingName_;
        } else {
            problems_.push_back("refused the unsafe bundle name \"" + printable(*pendingName_) +
                                "\"; the file is saved under its own name \"" + printable(name) +
                                "\"");
        }
        pendingName_.reset();
    }
    if (!isSafeFileName(targetName_)) {
        writeError_ = "refused the unsafe file name \"" + printable(targetName_) +
                      "\"; the file was not written";
        return true;  // read on past its data
    }
    openTemporary();
    return true;
}

bool ReplyWriter::openTemporary() {
    std::string pattern = outDir_ + "/.sendlogs-XXXXXX.part";
    const int fd = ::mkstemps(&pattern[0], 5);
    if (fd < 0) {
        writeError_ = "cannot create a file in " + outDir_ + ": " + std::strerror(errno);
        return false;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    fd_ = fd;
    tempPath_ = pattern;
    return true;
}

bool ReplyWriter::onFileData(const char* data, size_t size) {
    received_ += size;
    while (fd_ >= 0 && writeError_.empty() && size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            writeError_ = "cannot write " + printable(targetName_) + " into " + outDir_ + ": " +
                          std::strerror(n < 0 ? errno : ENOSPC);
            break;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    showProgress(false);
    return true;
}

void ReplyWriter::onFileEnd(const host::StreamedFileInfo& info) {
    showProgress(true);
    receiving_ = false;
    if (fd_ >= 0 && ::close(fd_) != 0 && writeError_.empty())
        writeError_ = "cannot write " + printable(targetName_) + ": " + std::strerror(errno);
    fd_ = -1;
    std::string reason;
    if (!info.complete()) {
        char crc[64];
        std::snprintf(crc, sizeof crc, "checksum %08X, expected %08X", info.receivedCrc,
                      info.declaredCrc);
        reason = "damaged file \"" + printable(targetName_) + "\": received " +
                 std::to_string(info.receivedSize) + " of " + std::to_string(info.declaredSize) +
                 " bytes, " + (info.ended ? std::string(crc) : "no end frame");
    } else if (!writeError_.empty()) {
        reason = writeError_;
    }
    std::string finalPath;
    if (reason.empty() && publish(finalPath)) {
        written_.push_back(finalPath);
        bytesWritten_ += received_;
        report_ << "saved " << printable(finalPath) << " (" << received_ << " bytes)\n";
        return;
    }
    discardCurrent(reason.empty() ? writeError_ : reason);
}

bool ReplyWriter::publish(std::string& finalPath) {
    for (int n = 0; n <= kMaxSuffix; ++n) {
        const std::string name = n == 0 ? targetName_ : withSuffix(targetName_, n);
        if (!isSafeFileName(name)) break;
        finalPath = outDir_ + "/" + name;
        const int err = renameNoReplace(tempPath_, finalPath);
        if (err == 0) {
            tempPath_.clear();
            return true;
        }
        if (err != EEXIST) {
            writeError_ = "cannot name " + printable(finalPath) + ": " + std::strerror(err);
            return false;
        }
    }
    writeError_ = "no free name for " + printable(targetName_) + " in " + outDir_;
    return false;
}

void ReplyWriter::discardCurrent(const std::string& reason) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
    receiving_ = false;
    problems_.push_back(reason);
}

void ReplyWriter::finish() {
    showProgress(true);
    if (receiving_) {
        discardCurrent("the stream ended inside file \"" + printable(targetName_) + "\" after " +
                       std::to_string(received_) + " of " + std::to_string(declared_) + " bytes");
    }
}

void ReplyWriter::showProgress(bool done) {
    if (progress_ == nullptr) return;
    if (done) {
        if (shownPercent_ >= 0) std::fputs("\n", progress_);
        shownPercent_ = -1;
        std::fflush(progress_);
        return;
    }
    const int percent = declared_ == 0 || received_ >= declared_
                            ? 100
                            : static_cast<int>(received_ * 100 / declared_);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    std::fprintf(progress_, "\r  receiving %s: %3d%% (%llu of %llu bytes)",
                 printable(targetName_).c_str(), percent,
                 static_cast<unsigned long long>(received_),
                 static_cast<unsigned long long>(declared_));
    std::fflush(progress_);
}

}  // namespace tooling
