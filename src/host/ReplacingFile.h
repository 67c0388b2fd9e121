// A file written under a temporary name beside its destination and put in place only when it
// is complete: a reader never sees half a file, a failed write leaves nothing behind, and the
// destination is replaced by a rename, never truncated while something may still read it.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

#include "host/FileHandle.h"

namespace host {

class ReplacingFile {
  public:
    ReplacingFile() = default;
    ~ReplacingFile();  // an uncommitted file is removed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file in destination's folder with the given mode (created 0600,
    // then set to mode). False, with errno set, when it cannot be created.
    bool open(const std::string& destination, mode_t mode = 0600);
    FILE* get() const { return file_.get(); }
    bool write(const void* data, size_t size) { return file_.write(data, size); }
    // Flushes, closes and renames the file onto the destination. False, with errno set, when
    // any of it failed; the temporary file is then gone and the destination untouched. Without
    // replaceExisting an existing destination fails the commit (EEXIST).
    bool commit(bool replaceExisting = true);
    // Removes the temporary file now.
    void discard();
    const std::string& destination() const { return destination_; }
    const std::string& temporary() const { return temporary_; }

  private:
    FileHandle file_;
    std::string temporary_;
    std::string destination_;
};

}  // namespace host
