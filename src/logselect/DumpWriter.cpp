#include "logselect/DumpWriter.h"

#include "logselect/LogLineGrammar.h"
#include "scrub/ScrubLogLine.h"

namespace logselect {

namespace {
constexpr size_t kBatchSize = 64 * 1024;
}

DumpWriter::DumpWriter(FILE* out, const char* machineName, const char* fileName,
                       const std::string& searchText, bool scrub, ScrubRuleList* scrubRules,
                       ReplacementMap* replacements)
    : out_(out),
      machineName_(machineName),
      fileName_(fileName),
      searchText_(searchText),
      scrub_(scrub),
      scrubRules_(scrubRules),
      replacements_(replacements) {
    batch_.reserve(kBatchSize + kMaxPiece + 1);
}

bool DumpWriter::take(const Piece& piece) {
    if (!searchText_.empty() && !SearchContent(std::string(piece.data, piece.size), searchText_)) {
        return false;
    }
    if (!headed_) {
        PrintHeader(out_, machineName_, fileName_);
        headed_ = true;
    }
    if (scrub_) {
        scratch_.assign(piece.data, piece.size);
        scrubLogLine(scratch_, scrubRules_, replacements_);
        write(scratch_.data(), scratch_.size(), piece.offset);
    } else {
        write(piece.data, piece.size, piece.offset);
    }
    openEnd_ = piece.end();
    return true;
}

void DumpWriter::write(const char* data, size_t size, long long offset) {
    // The next piece of the same long line continues it; anything else starts a new line.
    if (open_ && offset != openEnd_) batch_ += '\n';
    batch_.append(data, size);
    open_ = size == 0 || data[size - 1] != '\n';
    if (batch_.size() >= kBatchSize) flushBatch();
}

void DumpWriter::flushBatch() {
    if (!batch_.empty()) fwrite(batch_.data(), 1, batch_.size(), out_);
    batch_.clear();
}

void DumpWriter::finish() {
    if (open_) batch_ += '\n';
    open_ = false;
    flushBatch();
}

}  // namespace logselect
