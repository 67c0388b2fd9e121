// Unpacking of received bundles with libarchive's reader. Every change to the file system is
// made relative to descriptors of folders the unpacker opened without following links, so
// no member can reach outside the private folder, whatever the archive holds.
#include "host/BundleUnpack.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/File.h"
#include "host/Log.h"

namespace host {
namespace {

const char* const kTag = "unpackBundle";
constexpr size_t kBlock = 64 * 1024;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

// The components of a relative name without empty and "." ones; false when the name is
// absolute or climbs with "..".
bool components(const std::string& name, std::vector<std::string>& parts) {
    parts.clear();
    if (!name.empty() && name[0] == '/') return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        if (part == "..") return false;
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    return true;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : "/") + part;
    return out;
}

// A member name fit for a log line: control characters shown as "?", at most 200 bytes.
std::string printable(const std::string& name) {
    std::string out = name.substr(0, 200);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

class Unpacker {
  public:
    Unpacker(int root, const MemberPlacement& place, UnpackStats& stats, std::string& error)
        : root_(root), place_(place), stats_(stats), error_(error), buffer_(kBlock) {}

    // Unpacks the current member; false (error set) when the whole bundle must fail.
    bool member(struct archive* in, struct archive_entry* entry) {
        const char* stored = archive_entry_pathname(entry);
        BundleMember m;
        m.stored = stored ? stored : "";
        std::vector<std::string> parts;
        if (!components(m.stored, parts)) return fail("unsafe member name [" + m.stored + "]");
        m.path = joined(parts);
        if (m.path.empty()) return true;  // the archive's root folder
        std::vector<std::string> target;
        if (!placed(m, target)) return false;
        if (target.empty()) {
            ++stats_.leftOut;
            return true;
        }
        if (const char* link = archive_entry_hardlink(entry)) return hardLink(m, link, target);
        switch (archive_entry_filetype(entry)) {
            case AE_IFDIR: {
                Fd dir(folder(target, target.size(), true));
                if (dir.get() < 0) return false;
                ++stats_.folders;
                return true;
            }
            case AE_IFREG:
                return file(in, entry, target);
            case AE_IFLNK:
                return symbolicLink(m, archive_entry_symlink(entry), target);
            default:
                return refuse(m, "not a file, folder or link (a device, pipe or socket)");
        }
    }

  private:
    bool fail(const std::string& why) {
        error_ = why;
        return false;
    }
    bool failErrno(const std::string& action, const std::vector<std::string>& path) {
        return fail("cannot " + action + " [" + joined(path) + "]: " + std::strerror(errno));
    }
    bool refuse(const BundleMember& m, const char* why) {
        EvDebug().Error(kTag, "Left out [%s]: %s", printable(m.stored).c_str(), why);
        ++stats_.refused;
        return true;
    }

    // Where the caller puts the member; a placement that is not a plain relative path fails.
    bool placed(const BundleMember& m, std::vector<std::string>& target) {
        const std::string where = place_(m);
        if (!components(where, target))
            return fail("member [" + m.stored + "] placed at unsafe path [" + where + "]");
        return true;
    }

    // The folder made of the first n parts below the root, created when missing (create);
    // -1 (error set) when it cannot be opened or a part is a link or a file.
    int folder(const std::vector<std::string>& parts, size_t n, bool create) {
        Fd current(::fcntl(root_, F_DUPFD_CLOEXEC, 0));
        for (size_t i = 0; i < n && current.get() >= 0; ++i) {
            const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            int next = ::openat(current.get(), parts[i].c_str(), flags);
            if (next < 0 && errno == ENOENT && create) {
                if (::mkdirat(current.get(), parts[i].c_str(), 0700) != 0 && errno != EEXIST) {
                    failErrno("create folder",
                              std::vector<std::string>(parts.begin(), parts.begin() + i + 1));
                    return -1;
                }
                next = ::openat(current.get(), parts[i].c_str(), flags);
            }
            if (next < 0) {
                const std::vector<std::string> at(parts.begin(), parts.begin() + i + 1);
                if (errno == ELOOP || errno == ENOTDIR)
                    fail("member path goes through a link or a file at [" + joined(at) + "]");
                else
                    failErrno("open folder", at);
                return -1;
            }
            current.reset(next);
        }
        if (current.get() < 0) fail(std::string("cannot open folder: ") + std::strerror(errno));
        return current.release();
    }

    // Makes room for a new entry named leaf in parent: an earlier member of the same name is
    // replaced, as tar does, unless it is a folder.
    bool clear(int parent, const std::vector<std::string>& path) {
        struct stat st;
        if (::fstatat(parent, path.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT || failErrno("look at", path);
        if (S_ISDIR(st.st_mode)) return fail("member [" + joined(path) + "] replaces a folder");
        return ::unlinkat(parent, path.back().c_str(), 0) == 0 || failErrno("replace", path);
    }

    bool file(struct archive* in, struct archive_entry* entry,
              const std::vector<std::string>& path) {
        Fd parent(folder(path, path.size() - 1, true));
        if (parent.get() < 0 || !clear(parent.get(), path)) return false;
        Fd out(::openat(parent.get(), path.back().c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (out.get() < 0) return failErrno("create", path);
        for (;;) {
            const la_ssize_t got = archive_read_data(in, buffer_.data(), buffer_.size());
            if (got == 0) break;
            if (got < 0) {
                const char* why = archive_error_string(in);
                return fail("damaged bundle at [" + joined(path) + "]: " + (why ? why : "?"));
            }
            if (!writeAll(out.get(), buffer_.data(), static_cast<size_t>(got)))
                return failErrno("write", path);
            stats_.bytes += static_cast<uint64_t>(got);
        }
        if (archive_entry_mtime_is_set(entry)) {
            const struct timespec times[2] = {
                {0, UTIME_OMIT}, {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
            ::futimens(out.get(), times);
        }
        if (::close(out.release()) != 0) return failErrno("write", path);
        ++stats_.files;
        return true;
    }

    static bool writeAll(int fd, const char* data, size_t size) {
        while (size > 0) {
            const ssize_t put = ::write(fd, data, size);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            data += put;
            size -= static_cast<size_t>(put);
        }
        return true;
    }

    // A link whose target stays below the link's own folder: relative, without "..".
    bool symbolicLink(const BundleMember& m, const char* target,
                      const std::vector<std::string>& path) {
        std::vector<std::string> parts;
        if (target == nullptr || !components(target, parts) || parts.empty())
            return refuse(m, "a link that points out of its folder");
        Fd parent(folder(path, path.size() - 1, true));
        if (parent.get() < 0 || !clear(parent.get(), path)) return false;
        if (::symlinkat(target, parent.get(), path.back().c_str()) != 0)
            return failErrno("create link", path);
        ++stats_.links;
        return true;
    }

    // A second name of a member already unpacked.
    bool hardLink(const BundleMember& m, const char* stored, const std::vector<std::string>& path) {
        BundleMember original;
        original.stored = stored;
        std::vector<std::string> parts;
        if (!components(original.stored, parts) || parts.empty())
            return fail("unsafe link target [" + original.stored + "]");
        original.path = joined(parts);
        std::vector<std::string> from;
        if (!placed(original, from)) return false;
        if (from.empty()) return refuse(m, "a hard link to a member that was left out");
        Fd fromParent(folder(from, from.size() - 1, false));
        if (fromParent.get() < 0) return refuse(m, "a hard link to a member that is missing");
        Fd parent(folder(path, path.size() - 1, true));
        if (parent.get() < 0 || !clear(parent.get(), path)) return false;
        if (::linkat(fromParent.get(), from.back().c_str(), parent.get(), path.back().c_str(), 0) !=
            0)
            return refuse(m, "a hard link to a member that is missing");
        ++stats_.links;
        return true;
    }

    int root_;
    const MemberPlacement& place_;
    UnpackStats& stats_;
    std::string& error_;
    std::vector<char> buffer_;
};

// The private folder and, until it is published, its removal.
class PrivateFolder {
  public:
    explicit PrivateFolder(const std::string& destination) {
        std::string base = destination;
        while (base.size() > 1 && base.back() == '/') base.pop_back();
        const std::string parent = CTePath::GetDirName(base);
        std::string name = (parent.empty() ? std::string(".") : parent) + "/." +
                           CTePath::GetBaseName(base) + ".unpack-XXXXXX";
        if (::mkdtemp(&name[0]) != nullptr) path_ = name;
    }
    ~PrivateFolder() {
        if (!path_.empty()) CTeDirectory::Remove(path_, true, false);
    }
    const std::string& path() const { return path_; }
    bool publish(const std::string& destination) {
        if (::rename(path_.c_str(), destination.c_str()) != 0) return false;
        path_.clear();
        return true;
    }

  private:
    std::string path_;
};

// The bundle's bytes for libarchive, through zlib's gzread: a gzip file (of any number of
// members) is decompressed and every member's CRC-32 and length are checked, which
// libarchive's own gzip reader does not do; any other file is passed through as it is.
class CheckedSource {
  public:
    ~CheckedSource() {
        if (file_ != nullptr) gzclose(file_);
    }
    bool open(const std::string& path, std::string& error) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) file_ = gzdopen(fd, "rb");
        if (file_ == nullptr) {
            error = "cannot read bundle [" + path + "]: " + std::strerror(errno);
            if (fd >= 0) ::close(fd);
            return false;
        }
        gzbuffer(file_, 128 * 1024);
        return true;
    }
    static la_ssize_t read(struct archive* in, void* self, const void** data) {
        auto* source = static_cast<CheckedSource*>(self);
        const int got = gzread(source->file_, source->buffer_.data(),
                               static_cast<unsigned>(source->buffer_.size()));
        if (got < 0) {
            int code = 0;
            const char* why = gzerror(source->file_, &code);
            archive_set_error(in, EIO, "%s", why ? why : "read error");
            return -1;
        }
        *data = source->buffer_.data();
        return got;
    }

  private:
    gzFile file_ = nullptr;
    std::vector<char> buffer_ = std::vector<char>(kBlock);
};

bool readAll(struct archive* in, Unpacker& unpacker, std::string& error) {
    for (;;) {
        struct archive_entry* entry = nullptr;
        const int rc = archive_read_next_header(in, &entry);
        if (rc == ARCHIVE_EOF) return true;
        if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) {
            const char* why = archive_error_string(in);
            error = std::string("damaged bundle: ") + (why ? why : "unreadable header");
            return false;
        }
        if (!unpacker.member(in, entry)) return false;
    }
}

}  // namespace

bool unpackBundle(const std::string& archive, const std::string& destination,
                  const MemberPlacement& place, UnpackStats& stats, std::string& error) {
    stats = UnpackStats();
    PrivateFolder unpacked(destination);
    if (unpacked.path().empty()) {
        error = "cannot create a folder beside [" + destination + "]: " + std::strerror(errno);
        return false;
    }
    Fd root(::open(unpacked.path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.get() < 0) {
        error = "cannot open [" + unpacked.path() + "]: " + std::strerror(errno);
        return false;
    }
    CheckedSource source;
    if (!source.open(archive, error)) return false;
    struct archive* in = archive_read_new();
    archive_read_support_format_tar(in);
    bool ok = archive_read_open(in, &source, nullptr, CheckedSource::read, nullptr) == ARCHIVE_OK;
    if (!ok) {
        const char* why = archive_error_string(in);
        error = "cannot read bundle [" + archive + "]: " + (why ? why : "unreadable");
    } else {
        Unpacker unpacker(root.get(), place, stats, error);
        ok = readAll(in, unpacker, error);
    }
    archive_read_free(in);
    if (!ok) return false;
    if (!unpacked.publish(destination)) {
        error = "cannot move the unpacked bundle to [" + destination + "]: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace host
