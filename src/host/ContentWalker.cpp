#include "host/ContentWalker.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/File.h"

namespace host {
namespace {

constexpr size_t kBlock = 64 * 1024;
constexpr int kMaxDepth = 8;

std::string errnoText(int err) {
    char buffer[256];
    const char* text = strerror_r(err, buffer, sizeof buffer);
    return text ? text : "unknown error";
}

// Whether the first bytes of some data are those of an archive or of compressed data that
// libarchive reads (rather than text to be scanned as it is).
bool looksPacked(const unsigned char* p, size_t n) {
    auto starts = [&](const char* magic, size_t length) {
        return n >= length && std::memcmp(p, magic, length) == 0;
    };
    return starts("\x1f\x8b", 2) || starts("BZh", 3) || starts("\xfd\x37\x7a\x58\x5a\x00", 6) ||
           starts("\x28\xb5\x2f\xfd", 4) || starts("7z\xbc\xaf\x27\x1c", 6) ||
           starts("PK\x03\x04", 4) || starts("\x5d\x00\x00", 3) ||
           (n >= 262 && std::memcmp(p + 257, "ustar", 5) == 0);
}

class FdSource : public ByteSource {
  public:
    explicit FdSource(int fd) : fd_(fd) {}
    long read(char* data, size_t size) override {
        for (;;) {
            const ssize_t got = ::read(fd_, data, size);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) error_ = errnoText(errno);
            return static_cast<long>(got);
        }
    }
    std::string error() const override { return error_; }

  private:
    int fd_;
    std::string error_;
};

// The data of the current archive member, with the bytes already looked at handed out first.
class MemberSource : public ByteSource {
  public:
    MemberSource(struct archive* in, std::string head) : in_(in), head_(std::move(head)) {}
    long read(char* data, size_t size) override {
        if (used_ < head_.size()) {
            const size_t n = std::min(size, head_.size() - used_);
            std::memcpy(data, head_.data() + used_, n);
            used_ += n;
            return static_cast<long>(n);
        }
        const la_ssize_t got = archive_read_data(in_, data, size);
        if (got < 0) {
            const char* text = archive_error_string(in_);
            error_ = text ? text : "cannot read the member";
            return -1;
        }
        return static_cast<long>(got);
    }
    std::string error() const override { return error_; }

  private:
    struct archive* in_;
    std::string head_;
    size_t used_ = 0;
    std::string error_;
};

class Walker {
  public:
    explicit Walker(ContentSink& sink) : sink_(sink) {}
    ~Walker() {
        if (!scratch_.empty()) CTeDirectory::Remove(scratch_, true, false);
    }

    // The root itself may be named through a link.
    void walkRoot(const std::string& path) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            walkFolder(path, "");
        } else if (stat(path.c_str(), &st) != 0) {
            sink_.onUnreadable(path, errnoText(errno));
        } else {
            walkFile(path, path, 0);
        }
    }

  private:
    void walkPath(const std::string& path, const std::string& name) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            sink_.onUnreadable(name, errnoText(errno));
            return;
        }
        if (S_ISLNK(st.st_mode)) return;
        if (S_ISDIR(st.st_mode)) {
            walkFolder(path, name);
            return;
        }
        walkFile(path, name, 0);
    }

    void walkFolder(const std::string& path, const std::string& name) {
        DIR* dir = opendir(path.c_str());
        if (!dir) {
            sink_.onUnreadable(name, errnoText(errno));
            return;
        }
        std::vector<std::string> entries;
        while (struct dirent* e = readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                entries.push_back(e->d_name);
        }
        closedir(dir);
        std::sort(entries.begin(), entries.end());
        for (const std::string& entry : entries)
            walkPath(path + "/" + entry, name.empty() ? entry : name + "/" + entry);
    }

    void walkFile(const std::string& path, const std::string& name, int depth) {
        bool notRegular = false;
        const int fd = openRegularFile(path.c_str(), nullptr, &notRegular);
        if (fd < 0) {
            sink_.onUnreadable(name, notRegular ? "not a regular file" : errnoText(errno));
            return;
        }
        unsigned char head[512];
        ssize_t got;
        do {
            got = pread(fd, head, sizeof head, 0);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            sink_.onUnreadable(name, errnoText(errno));
        } else if (looksPacked(head, static_cast<size_t>(got))) {
            walkArchive(fd, name, depth);
        } else {
            FdSource source(fd);
            sink_.onContent(name, source);
        }
        ::close(fd);
    }

    void walkArchive(int fd, const std::string& name, int depth) {
        if (depth >= kMaxDepth) {
            sink_.onUnreadable(name, "archives nested too deep");
            return;
        }
        struct archive* in = archive_read_new();
        archive_read_support_filter_all(in);
        // The archive formats a result is packed in. Not all of libarchive's: some (mtree)
        // would read a text file as a list of entries and hide its lines.
        archive_read_support_format_tar(in);
        archive_read_support_format_gnutar(in);
        archive_read_support_format_7zip(in);
        archive_read_support_format_zip(in);
        archive_read_support_format_cpio(in);
        archive_read_support_format_empty(in);
        archive_read_support_format_raw(in);
        if (archive_read_open_fd(in, fd, kBlock) != ARCHIVE_OK) {
            report(in, name);
            archive_read_free(in);
            return;
        }
        struct archive_entry* entry = nullptr;
        for (;;) {
            const int rc = archive_read_next_header(in, &entry);
            if (rc == ARCHIVE_EOF) break;
            if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) {
                report(in, name);
                break;
            }
            // A single compressed stream (x.log.gz) is read under the file's own name.
            const bool raw = archive_format(in) == ARCHIVE_FORMAT_RAW;
            const char* path = archive_entry_pathname(entry);
            const std::string member = raw ? name : name + "!" + (path ? path : "?");
            if (!raw && archive_entry_filetype(entry) != AE_IFREG) continue;
            if (archive_entry_is_encrypted(entry)) {
                sink_.onUnreadable(member, "encrypted");
                continue;
            }
            readMember(in, member, depth);
        }
        archive_read_free(in);
    }

    void readMember(struct archive* in, const std::string& member, int depth) {
        std::string head(512, '\0');
        size_t filled = 0;
        while (filled < head.size()) {
            const la_ssize_t got = archive_read_data(in, &head[filled], head.size() - filled);
            if (got < 0) {
                report(in, member);
                return;
            }
            if (got == 0) break;
            filled += static_cast<size_t>(got);
        }
        head.resize(filled);
        if (!looksPacked(reinterpret_cast<const unsigned char*>(head.data()), head.size())) {
            MemberSource source(in, head);
            sink_.onContent(member, source);
            return;
        }
        // A nested archive: written out whole first, since some formats (7z) need to seek.
        const std::string copy = spool(in, head, member);
        if (copy.empty()) return;
        const int fd = openRegularFile(copy.c_str());
        unlink(copy.c_str());
        if (fd < 0) {
            sink_.onUnreadable(member, errnoText(errno));
            return;
        }
        walkArchive(fd, member, depth + 1);
        ::close(fd);
    }

    std::string spool(struct archive* in, const std::string& head, const std::string& member) {
        if (scratch_.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/sendlogs-verify-XXXXXX";
            std::vector<char> dir(templ.begin(), templ.end());
            dir.push_back('\0');
            if (!mkdtemp(dir.data())) {
                sink_.onUnreadable(member, "cannot create a temporary folder: " + errnoText(errno));
                return std::string();
            }
            scratch_ = dir.data();
        }
        const std::string path = scratch_ + "/member" + std::to_string(++spooled_);
        const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (out < 0) {
            sink_.onUnreadable(member, errnoText(errno));
            return std::string();
        }
        MemberSource source(in, head);
        std::vector<char> buffer(kBlock);
        std::string failure;
        for (;;) {
            const long got = source.read(buffer.data(), buffer.size());
            if (got < 0) failure = source.error();
            if (got <= 0) break;
            for (long done = 0; done < got && failure.empty();) {
                const ssize_t put =
                    ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) {
                    failure = errnoText(errno);
                } else {
                    done += put;
                }
            }
            if (!failure.empty()) break;
        }
        if (::close(out) != 0 && failure.empty()) failure = errnoText(errno);
        if (!failure.empty()) {
            unlink(path.c_str());
            sink_.onUnreadable(member, failure);
            return std::string();
        }
        return path;
    }

    void report(struct archive* in, const std::string& name) {
        const char* text = archive_error_string(in);
        sink_.onUnreadable(name, text && *text ? text : "cannot read the archive");
    }

    ContentSink& sink_;
    std::string scratch_;
    size_t spooled_ = 0;
};

}  // namespace

void walkContents(const std::string& path, ContentSink& sink) {
    Walker walker(sink);
    walker.walkRoot(path);
}

}  // namespace host
