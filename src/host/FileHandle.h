// One owner for an open stdio stream, and the seam every write and close of the library goes
// through, so that tests can make them fail the way a full disk or a signal does.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdio>

namespace host {

namespace io {

// Writes size bytes to the stream, retrying after EINTR and after short writes. False, with
// errno set, when the bytes could not all be written.
bool write(FILE* stream, const void* data, size_t size);
// The same for a descriptor (no test seam): size bytes, retrying after EINTR and short
// writes; false, with errno set, when they could not all be written.
bool writeFd(int fd, const void* data, size_t size);
// Writes a formatted text through write(); false as above.
bool printf(FILE* stream, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Flushes and closes the stream (always closed); false, with errno set, when the flush or
// the close failed. Never retried after EINTR: the descriptor is gone either way.
bool close(FILE* stream);
// Reads up to size bytes (fread). got: the bytes read. False, with errno set, on a read
// error; true with got < size at the end of the file.
bool read(FILE* stream, void* data, size_t size, size_t& got);

// Test seam. The next write of the process fails once: with error after accepting
// acceptBytes bytes of it (a short write). EINTR is retried by write() and so only delays;
// any other error (ENOSPC, EIO) makes write() fail.
void injectWriteFault(int error, size_t acceptBytes = 0);
// The next close() of the process fails with error (the stream is still closed).
void injectCloseFault(int error);
// The next read() of the process fails with error after handing out acceptBytes bytes.
void injectReadFault(int error, size_t acceptBytes = 0);
// Forgets faults not yet taken.
void clearFaults();

}  // namespace io

// An open stream owned by one object. The destructor closes it without looking at the
// result; a writer that must know whether its data reached the file calls close().
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(FILE* stream) : stream_(stream) {}
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept : stream_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // fopen_utf: the descriptor is not inherited by child processes. Empty on failure
    // (errno set).
    static FileHandle open(const char* path, const char* mode);
    // Opens an existing regular file for reading. The open never waits (a FIFO or a device
    // does not hold the caller), and anything but a regular file is refused: empty, with
    // notRegular set (when given) and errno EINVAL. st (when given) receives its status.
    static FileHandle openRegular(const char* path, bool* notRegular = nullptr,
                                  struct stat* st = nullptr);

    FILE* get() const { return stream_; }
    explicit operator bool() const { return stream_ != nullptr; }
    FILE* release() {
        FILE* stream = stream_;
        stream_ = nullptr;
        return stream;
    }
    bool write(const void* data, size_t size) { return io::write(stream_, data, size); }
    // Flushes and closes; false when the stream had a write error, or the flush or the close
    // failed. Afterwards the handle is empty.
    bool close();

  private:
    FILE* stream_ = nullptr;
};

}  // namespace host
