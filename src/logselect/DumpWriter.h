// Writes the taken pieces of one source file into a dump file: the banner before the first
// one, the search-text test, scrubbing (of the banner's machine and file name too), and a
// newline after a piece that would otherwise run into whatever is written next. Lines are
// gathered and written in large blocks; a failed write is remembered, never ignored.
#pragma once

#include <cstdio>
#include <string>

#include "logselect/PieceReader.h"
#include "scrub/ScrubRule.h"

namespace logselect {

class DumpWriter {
  public:
    DumpWriter(FILE* out, const char* machineName, const char* fileName,
               const std::string& searchText, bool scrub, ScrubRuleList* scrubRules,
               ReplacementMap* replacements);
    ~DumpWriter() { finish(); }
    DumpWriter(const DumpWriter&) = delete;
    DumpWriter& operator=(const DumpWriter&) = delete;

    // Writes the piece unless the search text is set and not found in it. True when written.
    bool take(const Piece& piece);
    // Ends an unterminated last piece with a newline, hands everything gathered to the
    // stream and flushes it. Called by the destructor too.
    void finish();
    bool wroteAny() const { return headed_; }
    // A write or the flush of the dump failed (errno kept in writeError()).
    bool writeFailed() const { return writeError_ != 0; }
    int writeError() const { return writeError_; }
    // Lines withheld because a scrub rule could not be applied to them.
    size_t redactedLines() const { return redacted_; }

  private:
    void write(const char* data, size_t size, long long offset);
    void writeBanner();

    FILE* out_;
    const char* machineName_;
    const char* fileName_;
    const std::string& searchText_;
    bool scrub_;
    ScrubRuleList* scrubRules_;
    ReplacementMap* replacements_;
    void flushBatch();

    bool headed_ = false;
    int writeError_ = 0;
    size_t redacted_ = 0;
    bool open_ = false;       // the last piece written has no newline yet
    long long openEnd_ = -1;  // file offset right after that piece
    std::string scratch_;     // reused for scrubbed copies
    std::string batch_;       // taken lines gathered for one write of many
};

}  // namespace logselect
