// One product log file opened for an extractor: only a regular file inside the log folder is
// read (the open never waits on a FIFO or a device, and a link leading out of the folder is
// not followed); a ".bz2" file is first decompressed into a private temporary copy. The open
// file and the copy go away with the object.
#pragma once

#include <cstdio>
#include <string>

#include "host/FileHandle.h"
#include "logselect/ExtractionTally.h"

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
    enum class Status {
        Open,
        LeftOut,  // not a regular file, or a link out of the folder
        Gone,     // removed since the folder was listed (a rotation)
        Failed,   // could not be decompressed or opened
    };

    LogSource(const std::string& logDir, const std::string& fileName);
    ~LogSource();
    LogSource(const LogSource&) = delete;
    LogSource& operator=(const LogSource&) = delete;

    // Decompresses a name that contains ".bz2", then opens the file for reading. Logs why a
    // file is left out, the decompression lines, or the open failure as report says.
    Status open(const OpenFailureReport& report);
    FILE* file() const { return file_.get(); }
    // logDir/fileName, or the temporary copy once decompressed.
    const std::string& path() const { return path_; }

  private:
    Status check(const char* tag);
    bool decompress();

    std::string logDir_;
    std::string fileName_;
    std::string path_;
    bool temporary_ = false;
    host::FileHandle file_;
};

// Counts a log that did not open in tally (a failure as unreadable, the rest as left out)
// and gives the extractor's result for it: true only for a file left out on purpose.
inline bool countUnopened(LogSource::Status status, const std::string& fileName,
                          ExtractionTally& tally) {
    if (status == LogSource::Status::Failed) {
        tally.unreadable.push_back(fileName);
        return false;
    }
    ++tally.leftOut;
    return status == LogSource::Status::LeftOut;
}

}  // namespace logselect
