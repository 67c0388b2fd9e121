// The receiving end of a request: prints the reply records readably and writes each streamed
// file into one output folder, under the name the reply gives it, never outside the folder,
// never over an existing file, and only once its size and checksum are verified.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/Net.h"

namespace tooling {

// True when name can be used as a file name directly inside a folder: not empty, no "/",
// no "..", no NUL, at most 255 bytes.
bool isSafeFileName(const std::string& name);

// One readable line for a reply record ("product version: 11.32.4").
std::string describeRecord(const host::ReplyRecord& record);

class ReplyWriter : public host::ReplySink {
  public:
    // report receives one line per record and per file; progress (a terminal, or null for
    // none) receives a running percentage of the file being received.
    ReplyWriter(std::string outDir, std::ostream& report, FILE* progress);
    ~ReplyWriter() override;  // removes the temporary file of an unfinished file
    ReplyWriter(const ReplyWriter&) = delete;
    ReplyWriter& operator=(const ReplyWriter&) = delete;

    void onRecord(const host::ReplyRecord& record) override;
    bool onFileBegin(const std::string& name, uint64_t size) override;
    bool onFileData(const char* data, size_t size) override;
    void onFileEnd(const host::StreamedFileInfo& info) override;
    // The stream has ended: a file still being received is counted as damaged.
    void finish();

    int failureRecords() const { return failureRecords_; }
    const std::vector<std::string>& written() const { return written_; }  // paths
    // One reason per problem: damaged or unwritable files, refused names.
    const std::vector<std::string>& problems() const { return problems_; }
    uint64_t bytesWritten() const { return bytesWritten_; }

  private:
    bool openTemporary();
    void discardCurrent(const std::string& reason);
    bool publish(std::string& finalPath);
    void showProgress(bool done);

    std::string outDir_;
    std::ostream& report_;
    FILE* progress_;

    std::optional<std::string> pendingName_;  // from a bundle-name record; names the next file
    // The file being received.
    bool receiving_ = false;
    std::string streamName_, targetName_, tempPath_;
    int fd_ = -1;
    uint64_t declared_ = 0, received_ = 0;
    std::string writeError_;
    int shownPercent_ = -1;

    int failureRecords_ = 0;
    std::vector<std::string> written_;
    std::vector<std::string> problems_;
    uint64_t bytesWritten_ = 0;
};

}  // namespace tooling
