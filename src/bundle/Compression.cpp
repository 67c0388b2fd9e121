// The final bundle's gzip compression (independent members on all cores, see GzipMembers)
// and the single-file compressor.
#include "bundle/Compression.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bundle/GzipMembers.h"
#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/Process.h"

namespace {

constexpr size_t kPathBuffer = 1024;
constexpr size_t kCommandBuffer = 128;

// Closes a descriptor when the scope ends.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

}  // namespace

namespace bundle {

std::string compressedName(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string name = hasExtension ? path.substr(0, dot) + ".gz" : path + ".gz";
    // "x.gz" would be compressed onto itself.
    if (name == path) name = path + ".gz";
    return name;
}

}  // namespace bundle

bool compressTarFile(char* path) {
    EvDebug log;
    const char* tag = "compressTarFile";
    if (path == nullptr || *path == '\0') {
        log.Error(tag, "No tar file to compress");
        return false;
    }
    const std::string tarFile = path;
    const std::string gzFile = bundle::compressedName(tarFile);
    if (gzFile.size() >= kPathBuffer) {
        log.Error(tag, "Compressed name of [%s] is longer than %zu characters", path,
                  kPathBuffer - 1);
        return false;
    }
    Descriptor in{open(path, O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) {
        log.Error(tag, "couldn't open tarFile [%s].", path);
        return false;
    }
    // The bundle holds the machine's logs: readable by its owner only.
    Descriptor outFd{open(gzFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)};
    host::FileHandle out(outFd.fd >= 0 ? fdopen(outFd.fd, "w") : nullptr);
    if (!out) {
        log.Error(tag, "gzopen file [%s] failed.", gzFile.c_str());
        if (outFd.fd >= 0) unlink(gzFile.c_str());
        return false;
    }
    outFd.fd = -1;  // the stream owns it now
    std::string error;
    bool ok = bundle::gzipMembers(in.fd, out.get(), bundle::GzipOptions(), error);
    if (!out.close() && ok) {
        error = std::string("cannot finish the compressed file: ") + strerror(errno);
        ok = false;
    }
    if (!ok) {
        log.Error(tag, "Compressing [%s] into [%s] failed: %s", path, gzFile.c_str(),
                  error.c_str());
        unlink(gzFile.c_str());
        log.Error(tag, "Exit :tarFile [%s].", path);
        return false;
    }
    if (unlink_utf(path) != 0) log.Error(tag, "Cannot Cleanup file [%s]", path);
    memcpy(path, gzFile.c_str(), gzFile.size() + 1);
    return true;
}

bool compressFile(const char* source, char* target) {
    EvDebug log;
    const char* tag = "compressFile";
    if (source == nullptr || *source == '\0') {
        log.Error(tag, "Input source file name is invalid.");
        return false;
    }
    const std::string command = "gzip --fast " + host::shellQuote(source);
    if (command.size() >= kCommandBuffer || strlen(source) + 3 >= kPathBuffer) {
        log.Error(tag, "Command for [%.200s] is longer than %zu characters; not compressed", source,
                  kCommandBuffer - 1);
        return false;
    }
    std::string out, err;
    const int status = WyProcess::system(command.c_str(), &out, &err, 0, false);
    if (status != 0) {
        log.Error(tag, "Failed to run [%s] out [%s] err[%s].", command.c_str(), out.c_str(),
                  err.c_str());
        return false;
    }
    if (target != nullptr) snprintf(target, kPathBuffer, "%s.gz", source);
    return true;
}
