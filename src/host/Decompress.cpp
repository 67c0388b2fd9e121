// Decompression of compressed logs (bz2, gzip and the other libarchive filters) and the gzip
// copy used for the final bundle.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/Archive.h"
#include "host/File.h"

namespace {

constexpr size_t kBlock = 64 * 1024;

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t put = write(fd, data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

// Streams the single compressed stream of source into destination (created, never
// overwritten). On failure nothing is left at destination.
CTeError decompressStream(const std::string& source, const std::string& destination) {
    struct archive* in = archive_read_new();
    archive_read_support_filter_all(in);
    archive_read_support_format_raw(in);
    struct archive_entry* entry = nullptr;
    if (archive_read_open_filename(in, source.c_str(), kBlock) != ARCHIVE_OK ||
        archive_read_next_header(in, &entry) != ARCHIVE_OK) {
        std::string reason = archive_error_string(in) ? archive_error_string(in) : "unreadable";
        archive_read_free(in);
        return CTeError(2, "cannot decompress [" + source + "]: " + reason, SL_CODE_LOCATION);
    }
    int out = open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        int err = errno;
        archive_read_free(in);
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, err, "cannot create [%s]",
                                       destination.c_str());
    }
    std::vector<char> buffer(kBlock);
    CTeError result;
    for (;;) {
        la_ssize_t got = archive_read_data(in, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            result = CTeError(2,
                              "cannot decompress [" + source + "]: " +
                                  (archive_error_string(in) ? archive_error_string(in) : "corrupt"),
                              SL_CODE_LOCATION);
            break;
        }
        if (!writeAll(out, buffer.data(), static_cast<size_t>(got))) {
            result = FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot write [%s]",
                                             destination.c_str());
            break;
        }
    }
    archive_read_free(in);
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

}  // namespace

CTeError C7zip::DecompressFile(const std::string& source, const std::string& destination) {
    return decompressStream(source, destination);
}

CTeError DeCompressLogFile(const std::string& sourceDir, const std::string& fileName,
                           std::string& path, C7zip* archiver, const char* copyName) {
    std::string source = !path.empty() ? path : FXPath::Append(sourceDir, fileName, 0);
    std::string name = copyName && *copyName ? copyName : copyNameFor(fileName);
    if (name.find('/') != std::string::npos || name == "." || name == "..")
        return CTeError(2, "invalid name for the decompressed copy [" + name + "]",
                        SL_CODE_LOCATION);

    // A private folder per copy: nobody else can read the log or plant a file in its place.
    std::string templ = tempBase() + "/sendlogs-decompress-XXXXXX";
    std::vector<char> dir(templ.begin(), templ.end());
    dir.push_back('\0');
    if (!mkdtemp(dir.data()))
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno,
                                       "cannot create a temporary folder under [%s]",
                                       tempBase().c_str());
    chmod(dir.data(), 0700);
    std::string destination = std::string(dir.data()) + "/" + name;
    CTeError result = archiver ? archiver->DecompressFile(source, destination)
                               : decompressStream(source, destination);
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
