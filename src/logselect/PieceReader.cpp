#include "logselect/PieceReader.h"

#include "host/FileHandle.h"

namespace logselect {

PieceReader::PieceReader(FILE* in, long long startOffset, size_t blockSize)
    : in_(in),
      // Not zero-filled: only the read-ahead bytes behind the data are ever read unwritten,
      // and refill() clears those.
      buffer_(new char[blockSize + kMaxPiece + kReadAhead]),
      capacity_(blockSize + kMaxPiece),
      start_(startOffset),
      position_(startOffset) {}

bool PieceReader::refill() {
    // Roll the unconsumed tail (less than one piece) to the front, then fill behind it.
    size_t tail = end_ - begin_;
    if (begin_ > 0 && tail > 0) memmove(buffer_.get(), buffer_.get() + begin_, tail);
    chunkValid_ = false;
    begin_ = 0;
    end_ = tail;
    size_t want = capacity_ - end_;
    size_t got = 0;
    if (!host::io::read(in_, buffer_.get() + end_, want, got)) failed_ = true;
    end_ += got;
    if (got < want) eof_ = true;
    // Masks of 64 bytes may be loaded past the data; their bits there are never used, but
    // they are defined bytes.
    memset(buffer_.get() + end_, 0, kReadAhead);
    return got > 0 || tail > 0;
}

bool PieceReader::skipToText(const TextFinder& finder) {
    if (finder.empty()) return !failed_;
    for (;;) {
        const size_t hit = finder.find(buffer_.get() + begin_, end_ - begin_);
        if (hit != TextFinder::npos) {
            passTo(pieceStartOf(begin_ + hit));
            return true;
        }
        if (eof_) {
            passTo(end_);
            return !failed_;
        }
        // None here; one may still begin in the last bytes and end in the next block.
        const size_t keep = finder.longest() - 1;
        if (end_ - begin_ > keep) passTo(pieceStartOf(end_ - keep));
        if (!refill()) return !failed_;
    }
}

}  // namespace logselect
