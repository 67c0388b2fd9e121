#include "logselect/PieceReader.h"

#include "host/FileHandle.h"

namespace logselect {

PieceReader::PieceReader(FILE* in, long long startOffset, size_t blockSize)
    : in_(in),
      buffer_(new char[blockSize + kMaxPiece + kReadAhead]()),
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
    return got > 0 || tail > 0;
}

}  // namespace logselect
