#include "host/ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace host {

ReplacingFile::~ReplacingFile() {
    discard();
}

bool ReplacingFile::open(const std::string& destination, mode_t mode) {
    discard();
    const size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : destination.substr(0, slash + 1);
    // A short fixed stem: the destination's own name may already be as long as a name can be.
    std::string templ = folder + (slash == std::string::npos ? "/" : "") + ".sendlogs-XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    temporary_ = name.data();
    destination_ = destination;
    if (fchmod(fd, mode & 07777) != 0 || !(file_ = FileHandle(fdopen(fd, "w")))) {
        const int err = errno;
        if (!file_) ::close(fd);
        discard();
        errno = err;
        return false;
    }
    return true;
}

bool ReplacingFile::commit(bool replaceExisting) {
    if (!file_) {
        errno = EBADF;
        return false;
    }
    const unsigned flags = replaceExisting ? 0 : RENAME_NOREPLACE;
    if (!file_.close() ||
        ::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, destination_.c_str(), flags) != 0) {
        const int err = errno;
        discard();
        errno = err;
        return false;
    }
    temporary_.clear();
    return true;
}

void ReplacingFile::discard() {
    file_ = FileHandle();
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace host
