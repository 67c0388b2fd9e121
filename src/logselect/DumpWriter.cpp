#include "logselect/DumpWriter.h"

#include <cerrno>
#include <cstring>

#include "host/FileHandle.h"
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
        writeBanner();
        headed_ = true;
    }
    if (scrub_) {
        scratch_.assign(piece.data, piece.size);
        if (scrubLogLine(scratch_, scrubRules_, replacements_) != 0) ++redacted_;
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

void DumpWriter::writeBanner() {
    // The banner is the library's own text inside a scrubbed dump: the machine's and the
    // file's names go through the same rules as the lines.
    const char* path = fileName_ ? fileName_ : "";
    const char* slash = strrchr(path, '/');
    std::string machine = machineName_ ? machineName_ : "";
    std::string file = slash ? slash + 1 : path;
    if (scrub_) {
        if (scrubLogLine(machine, scrubRules_, replacements_) != 0) ++redacted_;
        if (scrubLogLine(file, scrubRules_, replacements_) != 0) ++redacted_;
    }
    const std::string rule(60, '@');
    batch_ +=
        "\n\n\n" + rule + "\nMachine : " + machine + "\nFile    : " + file + "\n" + rule + "\n\n";
}

void DumpWriter::flushBatch() {
    if (!batch_.empty() && writeError_ == 0 &&
        !host::io::write(out_, batch_.data(), batch_.size())) {
        writeError_ = errno ? errno : EIO;
    }
    batch_.clear();
}

void DumpWriter::finish() {
    if (open_) batch_ += '\n';
    open_ = false;
    flushBatch();
    // Buffered bytes meet a full disk only when they reach the file.
    if (headed_ && writeError_ == 0 && fflush(out_) != 0) writeError_ = errno ? errno : EIO;
}

}  // namespace logselect
