// File and folder helpers.
#include "host/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <vector>

#include "host/FileHandle.h"

namespace {

// Opens name inside dirFd as a folder without following a symbolic link.
int openFolderAt(int dirFd, const char* name) {
    return openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Removes the entry name inside dirFd and, for a folder, everything below it. Links are
// removed as links. Keeps going after a failure and remembers the first one.
void removeTreeAt(int dirFd, const char* name, const std::string& shown, CTeError& first) {
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT && !first.IsError())
            first =
                FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot stat [%s]", shown.c_str());
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        int fd = openFolderAt(dirFd, name);
        if (fd < 0) {
            if (!first.IsError())
                first = FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot open folder [%s]",
                                                shown.c_str());
        } else if (DIR* dir = fdopendir(fd)) {
            while (struct dirent* entry = readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                    continue;
                removeTreeAt(dirfd(dir), entry->d_name, shown + "/" + entry->d_name, first);
            }
            closedir(dir);
        } else {
            close(fd);
        }
        if (unlinkat(dirFd, name, AT_REMOVEDIR) != 0 && errno != ENOENT && !first.IsError())
            first = FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot remove folder [%s]",
                                            shown.c_str());
        return;
    }
    if (unlinkat(dirFd, name, 0) != 0 && errno != ENOENT && !first.IsError())
        first =
            FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot remove [%s]", shown.c_str());
}

std::string vformat(const char* fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (needed <= 0) return std::string();
    std::vector<char> text(static_cast<size_t>(needed) + 1);
    std::vsnprintf(text.data(), text.size(), fmt, ap);
    return std::string(text.data(), static_cast<size_t>(needed));
}

void collectMatches(const std::string& dir, const std::string& pattern, bool recursive,
                    std::vector<std::string>& out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> folders;
    while (struct dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        std::string path = dir + "/" + e->d_name;
        if (fnmatch(pattern.c_str(), e->d_name, 0) == 0) out.push_back(path);
        struct stat st;
        if (recursive && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            folders.push_back(path);
    }
    closedir(d);
    for (const auto& folder : folders) collectMatches(folder, pattern, true, out);
}

}  // namespace

FILE* fopen_utf(const char* path, const char* mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    // Descriptors are never inherited by the programs the library runs.
    std::string m = mode;
    if (m.find('e') == std::string::npos) m += 'e';
    return std::fopen(path, m.c_str());
}

int unlink_utf(const char* path) {
    return ::unlink(path);
}
int chmod_utf(const char* path, mode_t mode) {
    return ::chmod(path, mode);
}
int lstat_utf(const char* path, struct stat* st) {
    return ::lstat(path, st);
}

CTeError CTeDirectory::Create(const std::string& path, bool recursive) {
    if (path.empty()) return FXErrorUtil::ErrorWin32(SL_CODE_LOCATION, EINVAL, "empty folder path");
    if (recursive) {
        for (size_t pos = path.find('/', 1); pos != std::string::npos;
             pos = path.find('/', pos + 1)) {
            std::string parent = path.substr(0, pos);
            if (mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST)
                return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot create folder [%s]",
                                               parent.c_str());
        }
    }
    if (mkdir(path.c_str(), 0755) == 0) return CTeError();
    int err = errno;
    struct stat st;
    if (err == EEXIST && recursive && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return CTeError();
    return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, err, "cannot create folder [%s]",
                                   path.c_str());
}

CTeError CTeDirectory::Remove(const std::string& path, bool recursive, bool reserved) {
    if (path.empty() || path == "/")
        return FXErrorUtil::ErrorWin32(SL_CODE_LOCATION, EINVAL, "refusing to remove [%s]",
                                       path.c_str());
    if (!recursive) {
        if (rmdir(path.c_str()) == 0) return CTeError();
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot remove folder [%s]",
                                       path.c_str());
    }
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot remove folder [%s]",
                                       path.c_str());
    CTeError first;
    removeTreeAt(AT_FDCWD, path.c_str(), path, first);
    return first;
}

std::string FXPath::Append(const std::string& base, const std::string& part, int flags) {
    if (base.empty()) return part;
    if (part.empty()) return base;
    size_t end = base.find_last_not_of('/');
    std::string joined = end == std::string::npos ? std::string() : base.substr(0, end + 1);
    size_t start = part.find_first_not_of('/');
    joined += '/';
    if (start != std::string::npos) joined += part.substr(start);
    return joined;
}

std::string CTePath::GetBaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CTePath::GetDirName(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool FXFile::DoesFileExist(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

CTeError FXFile::RemoveFile(const std::string& path) {
    if (unlink(path.c_str()) == 0) return CTeError();
    return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot remove file [%s]",
                                   path.c_str());
}

CTeError FXFile::WYGetFileSize(const std::string& path, unsigned long long& size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot stat [%s]", path.c_str());
    if (S_ISDIR(st.st_mode))
        return FXErrorUtil::ErrorWin32(SL_CODE_LOCATION, EISDIR, "[%s] is a folder", path.c_str());
    size = static_cast<unsigned long long>(st.st_size);
    return CTeError();
}

FILE* FXFile::WYCreateFile(const std::string& path) {
    return path.empty() ? nullptr : std::fopen(path.c_str(), "r+e");
}

CTeError FXFile::GetMatchingFiles(const std::string& dir, const std::string& pattern,
                                  std::vector<std::string>& out, bool recursive) {
    DIR* probe = opendir(dir.c_str());
    if (!probe)
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot read folder [%s]",
                                       dir.c_str());
    closedir(probe);
    std::vector<std::string> found;
    std::string base = dir.size() > 1 && dir.back() == '/' ? dir.substr(0, dir.size() - 1) : dir;
    collectMatches(base, pattern.empty() ? "*" : pattern, recursive, found);
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
    return CTeError();
}

bool FXFolder::DoesFolderExist(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

CTeError CTeFile::Copy(const std::string& source, const std::string& destination) {
    struct stat st;
    int in = host::openRegularFile(source.c_str(), &st);
    if (in < 0)
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot copy [%s]", source.c_str());
    int out =
        open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        int err = errno;
        close(in);
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, err, "cannot create [%s]",
                                       destination.c_str());
    }
    std::vector<char> buffer(64 * 1024);
    CTeError result;
    for (;;) {
        ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            result = FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot read [%s]",
                                             source.c_str());
            break;
        }
        if (got == 0) break;
        if (!host::io::writeFd(out, buffer.data(), static_cast<size_t>(got))) {
            result = FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot write [%s]",
                                             destination.c_str());
            break;
        }
    }
    close(in);
    if (close(out) != 0 && !result.IsError())
        result = FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot write [%s]",
                                         destination.c_str());
    // A half-written copy must not pass for the whole file.
    if (result.IsError()) unlink(destination.c_str());
    return result;
}

int FXString::FindString(const std::string& text, const std::string& needle, bool ignoreCase) {
    if (!ignoreCase) return text.find(needle) != std::string::npos ? 1 : 0;
    auto it =
        std::search(text.begin(), text.end(), needle.begin(), needle.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        });
    return (it != text.end() || needle.empty()) ? 1 : 0;
}

bool FXString::CompareLeft(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string FXString::Format(const char* fmt, ...) {
    if (!fmt) return std::string();
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat(fmt, ap);
    va_end(ap);
    return text;
}

CTeError CSimpleFolderTreeIterator::Open(const std::string& directory, const char* filter) {
    items_.clear();
    next_ = 0;
    DIR* d = opendir(directory.c_str());
    if (!d)
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot read folder [%s]",
                                       directory.c_str());
    while (struct dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        if (filter && *filter && fnmatch(filter, e->d_name, 0) != 0) continue;
        Item item;
        item.name = e->d_name;
        item.path = FXPath::Append(directory, item.name, 0);
        struct stat st;
        // A link to a folder is an item of its own, not a folder to walk into.
        item.isFolder = lstat(item.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        items_.push_back(std::move(item));
    }
    closedir(d);
    std::sort(items_.begin(), items_.end(),
              [](const Item& a, const Item& b) { return a.name < b.name; });
    return CTeError();
}

CTeError CSimpleFolderTreeIterator::GetNextItem(Item& item) {
    if (next_ >= items_.size())
        return FXErrorUtil::ErrorWin32(SL_CODE_LOCATION, ENOENT, "no more items");
    item = items_[next_++];
    return CTeError();
}

namespace host {

int openRegularFile(const char* path, struct stat* st, bool* notRegular) {
    if (notRegular) *notRegular = false;
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat own;
    struct stat& status = st ? *st : own;
    if (fstat(fd, &status) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        if (notRegular) *notRegular = true;
        errno = EINVAL;
        return -1;
    }
    // Reads of a regular file never wait anyway; clear the flag so nothing downstream sees it.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool isWithinFolder(const std::string& path, const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root = fs::canonical(folder, ec);
    if (ec) return false;
    const fs::path candidate = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) return false;
    auto r = root.begin();
    auto c = candidate.begin();
    for (; r != root.end(); ++r, ++c) {
        if (c == candidate.end() || *r != *c) return false;
    }
    return true;
}

}  // namespace host
