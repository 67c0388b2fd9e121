// One product log file opened for an extractor: a ".bz2" file is first decompressed into a
// private temporary copy; the open file and the copy go away with the object.
#pragma once

#include <cstdio>
#include <string>

#include "host/FileHandle.h"

namespace logselect {

// How an extractor reports a file it cannot open: its log tag, whether the message carries
// the error number, and the signature text handed to printErrorMsg.
struct OpenFailureReport {
    const char* tag;
    bool withErrorNumber;
    const char* signature;
};

class LogSource {
  public:
    LogSource(const std::string& logDir, const std::string& fileName);
    ~LogSource();
    LogSource(const LogSource&) = delete;
    LogSource& operator=(const LogSource&) = delete;

    // Decompresses a name that contains ".bz2", then opens the file for reading. On failure
    // logs the decompression lines, or the open failure as report says, and returns false.
    bool open(const OpenFailureReport& report);
    FILE* file() const { return file_.get(); }
    // logDir/fileName, or the temporary copy once decompressed.
    const std::string& path() const { return path_; }
    // A read of the open file failed.
    bool readFailed() const { return file_ && ferror(file_.get()) != 0; }

  private:
    bool decompress();

    std::string logDir_;
    std::string fileName_;
    std::string path_;
    bool temporary_ = false;
    host::FileHandle file_;
};

}  // namespace logselect
