#include "host/FileHandle.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <vector>

#include "host/File.h"

namespace host {
namespace io {
namespace {

struct FaultPlan {
    std::mutex lock;
    int writeError = 0;
    size_t acceptBytes = 0;
    int closeError = 0;
    int readError = 0;
    size_t readAccept = 0;
};

FaultPlan& faults() {
    static FaultPlan plan;
    return plan;
}

// Takes the pending write fault, if any: how many bytes to accept first, and the error.
bool takeWriteFault(int& error, size_t& acceptBytes) {
    FaultPlan& plan = faults();
    std::lock_guard<std::mutex> guard(plan.lock);
    if (plan.writeError == 0) return false;
    error = plan.writeError;
    acceptBytes = plan.acceptBytes;
    plan.writeError = 0;
    return true;
}

bool takeReadFault(int& error, size_t& acceptBytes) {
    FaultPlan& plan = faults();
    std::lock_guard<std::mutex> guard(plan.lock);
    if (plan.readError == 0) return false;
    error = plan.readError;
    acceptBytes = plan.readAccept;
    plan.readError = 0;
    return true;
}

int takeCloseFault() {
    FaultPlan& plan = faults();
    std::lock_guard<std::mutex> guard(plan.lock);
    const int error = plan.closeError;
    plan.closeError = 0;
    return error;
}

// One fwrite, or the injected failure in its place.
size_t writeOnce(FILE* stream, const char* data, size_t size, int& error) {
    int fault = 0;
    size_t accept = 0;
    if (takeWriteFault(fault, accept)) {
        const size_t part = accept < size ? accept : size;
        const size_t done = part ? fwrite(data, 1, part, stream) : 0;
        error = fault;
        return done;
    }
    errno = 0;
    const size_t done = fwrite(data, 1, size, stream);
    error = done < size ? (errno ? errno : EIO) : 0;
    return done;
}

}  // namespace

bool write(FILE* stream, const void* data, size_t size) {
    if (!stream) {
        errno = EBADF;
        return false;
    }
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        int error = 0;
        const size_t done = writeOnce(stream, next, size, error);
        next += done;
        size -= done;
        if (size == 0) break;
        if (error == EINTR) {
            clearerr(stream);
            continue;
        }
        errno = error;
        return false;
    }
    return true;
}

bool writeFd(int fd, const void* data, size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, next, size);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return false;
        if (put == 0) {
            errno = EIO;
            return false;
        }
        next += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool printf(FILE* stream, const char* fmt, ...) {
    char small[512];
    va_list ap;
    va_start(ap, fmt);
    const int n = vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n < 0) return false;
    if (static_cast<size_t>(n) < sizeof small) return write(stream, small, n);
    std::vector<char> large(static_cast<size_t>(n) + 1);
    va_start(ap, fmt);
    vsnprintf(large.data(), large.size(), fmt, ap);
    va_end(ap);
    return write(stream, large.data(), static_cast<size_t>(n));
}

bool close(FILE* stream) {
    if (!stream) {
        errno = EBADF;
        return false;
    }
    const bool hadError = ferror(stream) != 0;
    const int fault = takeCloseFault();
    const int result = fclose(stream);
    if (fault != 0) {
        errno = fault;
        return false;
    }
    if (hadError && result == 0) errno = EIO;
    return result == 0 && !hadError;
}

bool read(FILE* stream, void* data, size_t size, size_t& got) {
    got = 0;
    if (!stream) {
        errno = EBADF;
        return false;
    }
    int fault = 0;
    size_t accept = 0;
    if (takeReadFault(fault, accept)) {
        got = fread(data, 1, accept < size ? accept : size, stream);
        errno = fault;
        return false;
    }
    errno = 0;
    got = fread(data, 1, size, stream);
    if (got < size && ferror(stream)) {
        if (errno == 0) errno = EIO;
        return false;
    }
    return true;
}

void injectReadFault(int error, size_t acceptBytes) {
    FaultPlan& plan = faults();
    std::lock_guard<std::mutex> guard(plan.lock);
    plan.readError = error;
    plan.readAccept = acceptBytes;
}

void injectWriteFault(int error, size_t acceptBytes) {
    FaultPlan& plan = faults();
    std::lock_guard<std::mutex> guard(plan.lock);
    plan.writeError = error;
    plan.acceptBytes = acceptBytes;
}

void injectCloseFault(int error) {
    FaultPlan& plan = faults();
    std::lock_guard<std::mutex> guard(plan.lock);
    plan.closeError = error;
}

void clearFaults() {
    FaultPlan& plan = faults();
    std::lock_guard<std::mutex> guard(plan.lock);
    plan.writeError = 0;
    plan.closeError = 0;
    plan.readError = 0;
}

}  // namespace io

FileHandle::~FileHandle() {
    if (stream_) fclose(stream_);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (stream_) fclose(stream_);
        stream_ = other.release();
    }
    return *this;
}

FileHandle FileHandle::open(const char* path, const char* mode) {
    return FileHandle(fopen_utf(path, mode));
}

FileHandle FileHandle::openRegular(const char* path, bool* notRegular, struct stat* st) {
    const int fd = openRegularFile(path, st, notRegular);
    if (fd < 0) return FileHandle();
    FILE* stream = fdopen(fd, "r");
    if (!stream) {
        const int err = errno;
        ::close(fd);
        errno = err;
    }
    return FileHandle(stream);
}

bool FileHandle::close() {
    return io::close(release());
}

}  // namespace host
