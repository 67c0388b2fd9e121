// C7zip: 7z archives written with libarchive (LZMA2), with exclusions and volumes.
#include "host/Archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/File.h"
#include "host/Log.h"

namespace {

constexpr int kFormat7z = 2;
constexpr size_t kBlock = 64 * 1024;
constexpr long kWarning = 1;
constexpr long kFailure = 2;

// The entries of a folder other than "." and "..", sorted so archives come out the same on
// every run. False (errno set) when the folder cannot be read.
bool sortedFolderNames(const std::string& path, std::vector<std::string>& names) {
    DIR* dir = opendir(path.c_str());
    if (!dir) return false;
    while (struct dirent* e = readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return true;
}

struct Exclusion {
    std::string pattern;
    bool caseSensitive;
    bool recursive;
};

// UTF-8 to wide characters (UTF-32 on this platform); invalid bytes become U+FFFD.
std::wstring widen(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || (extra > 0 && i + extra >= text.size())) {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        unsigned long code = extra == 0 ? c : c & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) ok = false;
            code = (code << 6) | (next & 0x3F);
        }
        if (!ok) {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(code);
        i += extra + 1;
    }
    return out;
}

std::string errnoText(int err) {
    char buffer[256];
    const char* text = strerror_r(err, buffer, sizeof buffer);
    return text ? text : "unknown error";
}

std::string stripTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

struct C7zip::Impl {
    std::string home;
    int format = kFormat7z;
    bool initialized = false;
    unsigned level = 5;
    bool fullPath = false;
    unsigned long long volumeBytes = 0;
    std::vector<Exclusion> exclusions;

    // State of one AddFilesToArchive call.
    struct archive* out = nullptr;
    dev_t archiveDev = 0;
    ino_t archiveIno = 0;
    size_t added = 0;
    std::map<std::wstring, std::wstring>* failures = nullptr;

    void fail(const std::string& path, const std::string& reason) {
        (*failures)[widen(path)] = widen(reason);
    }

    // An exclusion that matches the name (relative to the parent of the added item) hides the
    // entry; for a folder, subtree tells whether its contents go with it.
    bool excluded(const std::string& relative, bool& subtree) const {
        for (const auto& e : exclusions) {
            int flags = e.caseSensitive ? 0 : FNM_CASEFOLD;
            if (fnmatch(e.pattern.c_str(), relative.c_str(), flags) == 0) {
                subtree = e.recursive;
                return true;
            }
        }
        return false;
    }

    bool writeHeader(const std::string& member, const struct stat& st, const char* linkTarget) {
        struct archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, member.c_str());
        archive_entry_set_mode(entry, st.st_mode);
        archive_entry_set_mtime(entry, st.st_mtime, 0);
        archive_entry_set_size(entry, S_ISREG(st.st_mode) ? st.st_size : 0);
        if (linkTarget) archive_entry_set_symlink(entry, linkTarget);
        int rc = archive_write_header(out, entry);
        archive_entry_free(entry);
        return rc == ARCHIVE_OK || rc == ARCHIVE_WARN;
    }

    // Adds one regular file; fd is open on it.
    void addFile(const std::string& path, const std::string& member, int fd,
                 const struct stat& st) {
        if (!writeHeader(member, st, nullptr)) {
            fail(path, archive_error_string(out) ? archive_error_string(out) : "write failed");
            return;
        }
        std::vector<char> buffer(kBlock);
        unsigned long long total = 0;
        for (;;) {
            ssize_t got = read(fd, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                fail(path, "read failed: " + errnoText(errno));
                break;
            }
            if (got == 0) break;
            if (archive_write_data(out, buffer.data(), static_cast<size_t>(got)) < 0) {
                fail(path, archive_error_string(out) ? archive_error_string(out) : "write failed");
                break;
            }
            total += static_cast<unsigned long long>(got);
        }
        // The archiver pads a file that shrank to its recorded size and cuts one that grew.
        if (total < static_cast<unsigned long long>(st.st_size))
            fail(path, "file shrank while it was read");
        archive_write_finish_entry(out);
        ++added;
    }

    void addEntry(const std::string& path, const std::string& member, const std::string& relative,
                  bool top);

    void addFolder(const std::string& path, const std::string& member, const std::string& relative,
                   const struct stat& st) {
        if (!writeHeader(member, st, nullptr)) {
            fail(path, archive_error_string(out) ? archive_error_string(out) : "write failed");
            return;
        }
        ++added;
        std::vector<std::string> names;
        if (!sortedFolderNames(path, names)) {
            fail(path, "cannot read folder: " + errnoText(errno));
            return;
        }
        for (const auto& name : names)
            addEntry(path + "/" + name, member + "/" + name, relative + "/" + name, false);
    }
};

void C7zip::Impl::addEntry(const std::string& path, const std::string& member,
                           const std::string& relative, bool top) {
    bool subtree = false;
    bool skip = excluded(relative, subtree);
    struct stat st;
    // An item named by the caller may be a link to what it means; inside a tree a link is
    // stored as a link, never followed.
    int rc = top ? stat(path.c_str(), &st) : lstat(path.c_str(), &st);
    if (rc != 0) {
        if (!skip) fail(path, errnoText(errno));
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        if (skip && subtree) return;
        if (skip) {  // leave the folder out but look at its contents
            std::vector<std::string> names;
            if (!sortedFolderNames(path, names)) return;
            for (const auto& name : names)
                addEntry(path + "/" + name, member + "/" + name, relative + "/" + name, false);
            return;
        }
        addFolder(path, member, relative, st);
        return;
    }
    if (skip) return;
    if (st.st_dev == archiveDev && st.st_ino == archiveIno) return;  // the archive itself
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> target(PATH_MAX + 1);
        ssize_t n = readlink(path.c_str(), target.data(), PATH_MAX);
        if (n < 0) {
            fail(path, "cannot read link: " + errnoText(errno));
            return;
        }
        target[static_cast<size_t>(n)] = '\0';
        if (writeHeader(member, st, target.data())) {
            archive_write_finish_entry(out);
            ++added;
        } else {
            fail(path, archive_error_string(out) ? archive_error_string(out) : "write failed");
        }
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        fail(path, "not a regular file");
        return;
    }
    // The entry may have been replaced since it was looked at: open without waiting and take
    // it only if it is still a regular file.
    bool notRegular = false;
    struct stat opened;
    int fd = host::openRegularFile(path.c_str(), &opened, &notRegular);
    if (fd < 0) {
        fail(path, notRegular ? "not a regular file" : errnoText(errno));
        return;
    }
    addFile(path, member, fd, opened);
    close(fd);
}

C7zip::C7zip(const char* home, int format) : impl_(new Impl) {
    impl_->home = home ? home : "";
    impl_->format = format;
}

C7zip::~C7zip() {
    delete impl_;
}

CTeError C7zip::Initialize() {
    if (impl_->format != kFormat7z)
        return CTeError(kFailure, "unsupported archive format " + std::to_string(impl_->format),
                        SL_CODE_LOCATION);
    struct archive* probe = archive_write_new();
    bool ok = probe && archive_write_set_format_7zip(probe) == ARCHIVE_OK;
    std::string reason = probe && archive_error_string(probe) ? archive_error_string(probe) : "";
    if (probe) archive_write_free(probe);
    if (!ok) return CTeError(kFailure, "7z writing is not available: " + reason, SL_CODE_LOCATION);
    impl_->initialized = true;
    struct stat st;
    if (!impl_->home.empty() && (stat(impl_->home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        return CTeError(kWarning, "archiver home [" + impl_->home + "] is not a folder",
                        SL_CODE_LOCATION);
    return CTeError();
}

void C7zip::SetCompressionLevel(unsigned level) {
    impl_->level = level < 1 ? 1 : (level > 9 ? 9 : level);
}

void C7zip::SetUseFullFilePath(bool on) {
    impl_->fullPath = on;
}

// Unix lets any reader open a file another process has open: nothing to switch on.
void C7zip::SetCompressSharedFiles(bool on) {}

void C7zip::SetVolumeSize(unsigned long size, int unit) {
    unsigned long long scale = unit == 0   ? 1ULL
                               : unit == 1 ? 1ULL << 10
                               : unit == 3 ? 1ULL << 30
                                           : 1ULL << 20;
    impl_->volumeBytes = static_cast<unsigned long long>(size) * scale;
}

void C7zip::AddExcludeList(const std::string& pattern, bool caseSensitive, bool recursive) {
    if (!pattern.empty()) impl_->exclusions.push_back({pattern, caseSensitive, recursive});
}

namespace {

// Cuts the archive into name.001, name.002 ... of volumeBytes each and removes the whole one.
CTeError splitVolumes(const std::string& archivePath, unsigned long long volumeBytes) {
    int in = open(archivePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot reopen [%s]",
                                       archivePath.c_str());
    std::vector<std::string> parts;
    std::vector<char> buffer(kBlock);
    bool ok = true, more = true;
    int err = 0;
    while (ok && more) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%03zu", parts.size() + 1);
        std::string part = archivePath + suffix;
        int outFd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (outFd < 0) {
            ok = false;
            err = errno;
            break;
        }
        parts.push_back(part);
        unsigned long long written = 0;
        while (written < volumeBytes) {
            size_t want = static_cast<size_t>(
                std::min<unsigned long long>(buffer.size(), volumeBytes - written));
            ssize_t got = read(in, buffer.data(), want);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                ok = false;
                err = errno;
                break;
            }
            if (got == 0) {
                more = false;
                break;
            }
            for (ssize_t done = 0; done < got;) {
                ssize_t put = write(outFd, buffer.data() + done, static_cast<size_t>(got - done));
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) {
                    ok = false;
                    err = errno ? errno : EIO;
                    break;
                }
                done += put;
            }
            if (!ok) break;
            written += static_cast<unsigned long long>(got);
        }
        if (close(outFd) != 0 && ok) {
            ok = false;
            err = errno;
        }
        // An exact multiple of the volume size must not leave an empty last part.
        if (ok && !more && written == 0) {
            unlink(part.c_str());
            parts.pop_back();
        }
    }
    close(in);
    if (!ok) {
        for (const auto& part : parts) unlink(part.c_str());
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, err,
                                       "cannot split [%s] into volumes; kept it whole",
                                       archivePath.c_str());
    }
    unlink(archivePath.c_str());
    return CTeError();
}

}  // namespace

CTeError C7zip::AddFilesToArchive(const std::string& archivePath,
                                  const std::vector<std::string>& items,
                                  std::map<std::wstring, std::wstring>& failures) {
    if (!impl_->initialized) {
        CTeError init = Initialize();
        if (init.GetErrorCode() > kWarning) return init;
    }
    if (archivePath.empty()) return CTeError(kFailure, "no archive path", SL_CODE_LOCATION);
    if (items.empty()) return CTeError(kFailure, "nothing to archive", SL_CODE_LOCATION);

    struct archive* out = archive_write_new();
    std::string level =
        "7zip:compression=lzma2,7zip:compression-level=" + std::to_string(impl_->level);
    if (archive_write_set_format_7zip(out) != ARCHIVE_OK ||
        archive_write_set_options(out, level.c_str()) != ARCHIVE_OK ||
        archive_write_open_filename(out, archivePath.c_str()) != ARCHIVE_OK) {
        std::string reason = archive_error_string(out) ? archive_error_string(out) : "";
        archive_write_free(out);
        return CTeError(kFailure, "cannot create archive [" + archivePath + "]: " + reason,
                        SL_CODE_LOCATION);
    }
    struct stat self;
    impl_->archiveDev = 0;
    impl_->archiveIno = 0;
    if (stat(archivePath.c_str(), &self) == 0) {
        impl_->archiveDev = self.st_dev;
        impl_->archiveIno = self.st_ino;
    }
    impl_->out = out;
    impl_->added = 0;
    impl_->failures = &failures;
    size_t failedBefore = failures.size();

    for (const auto& raw : items) {
        std::string item = stripTrailingSlashes(raw);
        if (item.empty()) continue;
        std::string base =
            item.substr(item.rfind('/') == std::string::npos ? 0 : item.rfind('/') + 1);
        if (base == "." || base == "..") {
            // Name the folder itself, not "." or "..".
            char resolved[PATH_MAX];
            if (realpath(item.c_str(), resolved)) {
                item = resolved;
                base = item.substr(item.rfind('/') + 1);
            }
        }
        std::string member = impl_->fullPath ? item : base;
        while (!member.empty() && member[0] == '/') member.erase(0, 1);
        if (member.empty()) member = base.empty() ? "root" : base;
        impl_->addEntry(item, member, base, true);
    }

    bool closed = archive_write_close(out) == ARCHIVE_OK;
    std::string closeError = archive_error_string(out) ? archive_error_string(out) : "";
    archive_write_free(out);
    impl_->out = nullptr;
    impl_->failures = nullptr;

    if (!closed || impl_->added == 0) {
        unlink(archivePath.c_str());
        std::string reason = !closed ? "cannot write archive [" + archivePath + "]: " + closeError
                                     : "nothing could be added to [" + archivePath + "]";
        return CTeError(kFailure, reason, SL_CODE_LOCATION);
    }
    if (impl_->volumeBytes > 0) {
        CTeError split = splitVolumes(archivePath, impl_->volumeBytes);
        if (split.IsError()) return CTeError(kWarning, split.AsString(), SL_CODE_LOCATION);
    }
    if (failures.size() > failedBefore)
        return CTeError(kWarning,
                        std::to_string(failures.size() - failedBefore) +
                            " item(s) could not be added to [" + archivePath + "]",
                        SL_CODE_LOCATION);
    return CTeError();
}
