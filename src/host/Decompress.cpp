// Decompression of compressed logs (bz2, gzip and the other libarchive filters) and the gzip
// copy used for the final bundle.
#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "host/Archive.h"
#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Log.h"

namespace {

constexpr size_t kBlock = 64 * 1024;

const char* reasonOf(struct archive* in, const char* fallback) {
    const char* text = archive_error_string(in);
    return text && *text ? text : fallback;
}

// Streams the single compressed stream of source into destination (created, never
// overwritten). Only a regular file is read, and it must hold compressed data (bzip2 data
// when bzip2Only): the raw reader would otherwise pass any other bytes through as if they
// had been decompressed. On failure nothing is left at destination.
CTeError decompressStream(const std::string& source, const std::string& destination,
                          bool bzip2Only) {
    bool notRegular = false;
    const int fd = host::openRegularFile(source.c_str(), nullptr, &notRegular);
    if (fd < 0) {
        if (notRegular)
            return CTeError(2, "cannot decompress [" + source + "]: not a regular file",
                            SL_CODE_LOCATION);
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot open [%s]", source.c_str());
    }
    struct archive* in = archive_read_new();
    archive_read_support_filter_all(in);
    archive_read_support_format_raw(in);
    struct archive_entry* entry = nullptr;
    if (archive_read_open_fd(in, fd, kBlock) != ARCHIVE_OK ||
        archive_read_next_header(in, &entry) != ARCHIVE_OK) {
        std::string reason = reasonOf(in, "unreadable");
        archive_read_free(in);
        close(fd);
        return CTeError(2, "cannot decompress [" + source + "]: " + reason, SL_CODE_LOCATION);
    }
    // One layer of compression read from the file itself (the reader counts the file as a
    // filter of its own, "none"): bzip2 when the name says so.
    const int filter = archive_filter_code(in, 0);
    const bool oneLayer = archive_filter_count(in) == 2;
    if (filter == ARCHIVE_FILTER_NONE ||
        (bzip2Only && (filter != ARCHIVE_FILTER_BZIP2 || !oneLayer))) {
        archive_read_free(in);
        close(fd);
        return CTeError(2,
                        "cannot decompress [" + source + "]: not " +
                            (bzip2Only ? "bzip2" : "compressed") + " data",
                        SL_CODE_LOCATION);
    }
    int out = open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        int err = errno;
        archive_read_free(in);
        close(fd);
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, err, "cannot create [%s]",
                                       destination.c_str());
    }
    std::vector<char> buffer(kBlock);
    CTeError result;
    for (;;) {
        la_ssize_t got = archive_read_data(in, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            result = CTeError(2, "cannot decompress [" + source + "]: " + reasonOf(in, "corrupt"),
                              SL_CODE_LOCATION);
            break;
        }
        if (!host::io::writeFd(out, buffer.data(), static_cast<size_t>(got))) {
            result = FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot write [%s]",
                                             destination.c_str());
            break;
        }
    }
    archive_read_free(in);
    close(fd);
    if (close(out) != 0 && !result.IsError())
        result = FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot write [%s]",
                                         destination.c_str());
    if (result.IsError()) unlink(destination.c_str());
    return result;
}

// The copy's default name: the file name up to its compression suffix.
std::string copyNameFor(const std::string& fileName) {
    std::string name = fileName;
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    size_t bz2 = name.find(".bz2");
    if (bz2 != std::string::npos) {
        name.erase(bz2);
    } else if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0) {
        name.erase(name.size() - 3);
    }
    return name.empty() || name == "." || name == ".." ? "decompressed" : name;
}

std::string tempBase() {
    const char* tmp = std::getenv("TMPDIR");
    return (tmp && *tmp) ? tmp : "/tmp";
}

// Temporary folders of this process carry its id, so that those of a process that no longer
// exists can be told apart and removed.
const char kDecompressPrefix[] = "sendlogs-decompress-";

}  // namespace

namespace host {

void removeStaleDecompressFolders() {
    const std::string base = tempBase();
    DIR* dir = opendir(base.c_str());
    if (!dir) return;
    std::vector<std::string> stale;
    while (struct dirent* e = readdir(dir)) {
        const char* name = e->d_name;
        if (std::strncmp(name, kDecompressPrefix, sizeof kDecompressPrefix - 1) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(name + sizeof kDecompressPrefix - 1, &end, 10);
        if (pid <= 0 || !end || *end != '-') continue;
        if (pid == static_cast<long>(getpid())) continue;
        if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        const std::string path = base + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
            continue;
        stale.push_back(path);
    }
    closedir(dir);
    for (const std::string& path : stale) {
        CTeError err = CTeDirectory::Remove(path, true, false);
        EvDebug log;
        if (err.IsError())
            log.Error("DeCompressLogFile", "Cannot remove the stale folder [%s]: %s", path.c_str(),
                      err.AsString().c_str());
        else
            log.DebugLvl("DeCompressLogFile", 3, "Removed the stale folder [%s]", path.c_str());
    }
}

void removeStaleDecompressFoldersOnce() {
    static std::once_flag once;
    std::call_once(once, removeStaleDecompressFolders);
}

}  // namespace host

CTeError C7zip::DecompressFile(const std::string& source, const std::string& destination) {
    return decompressStream(source, destination, false);
}

CTeError DeCompressLogFile(const std::string& sourceDir, const std::string& fileName,
                           std::string& path, C7zip* archiver, const char* copyName) {
    std::string source = !path.empty() ? path : FXPath::Append(sourceDir, fileName, 0);
    std::string name = copyName && *copyName ? copyName : copyNameFor(fileName);
    if (name.find('/') != std::string::npos || name == "." || name == "..")
        return CTeError(2, "invalid name for the decompressed copy [" + name + "]",
                        SL_CODE_LOCATION);

    host::removeStaleDecompressFoldersOnce();
    // A private folder per copy: nobody else can read the log or plant a file in its place.
    std::string templ = tempBase() + "/" + kDecompressPrefix + std::to_string(getpid()) + "-XXXXXX";
    std::vector<char> dir(templ.begin(), templ.end());
    dir.push_back('\0');
    if (!mkdtemp(dir.data()))
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno,
                                       "cannot create a temporary folder under [%s]",
                                       tempBase().c_str());
    chmod(dir.data(), 0700);
    std::string destination = std::string(dir.data()) + "/" + name;
    // A name that says bzip2 must hold bzip2 data.
    const bool bzip2Only = fileName.find(".bz2") != std::string::npos;
    CTeError result = bzip2Only || !archiver ? decompressStream(source, destination, bzip2Only)
                                             : archiver->DecompressFile(source, destination);
    if (result.IsError()) {
        rmdir(dir.data());
        return result;
    }
    path = destination;
    return CTeError();
}

int gz_compress(FILE* in, gzFile out) {
    if (!in || !out) return 0;
    std::vector<char> buffer(kBlock);
    for (;;) {
        size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        if (got > 0 &&
            gzwrite(out, buffer.data(), static_cast<unsigned>(got)) != static_cast<int>(got))
            return 0;
        if (got < buffer.size()) return std::ferror(in) ? 0 : 1;
    }
}
