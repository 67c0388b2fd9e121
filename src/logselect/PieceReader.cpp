#include "logselect/PieceReader.h"

#include <cstring>

namespace logselect {

PieceReader::PieceReader(FILE* in, long long startOffset, size_t blockSize)
    : in_(in),
      buffer_(new char[blockSize + kMaxPiece]),
      capacity_(blockSize + kMaxPiece),
      start_(startOffset),
      position_(startOffset) {}

bool PieceReader::next(Piece& piece) {
    for (;;) {
        size_t avail = end_ - begin_;
        if (avail > 0) {
            const char* start = buffer_.get() + begin_;
            size_t limit = avail < kMaxPiece ? avail : kMaxPiece;
            const void* newline = memchr(start, '\n', limit);
            size_t size;
            if (newline) {
                size = (size_t)((const char*)newline - start) + 1;
            } else if (limit == kMaxPiece) {
                size = kMaxPiece;
            } else if (eof_) {
                size = avail;
            } else {
                // The line continues past the bytes read so far.
                if (!refill()) return false;
                continue;
            }
            piece.data = start;
            piece.size = size;
            piece.offset = position_;
            begin_ += size;
            position_ += (long long)size;
            return true;
        }
        if (eof_ || !refill()) return false;
    }
}

bool PieceReader::refill() {
    // Roll the unconsumed tail (less than one piece) to the front, then fill behind it.
    size_t tail = end_ - begin_;
    if (begin_ > 0 && tail > 0) memmove(buffer_.get(), buffer_.get() + begin_, tail);
    begin_ = 0;
    end_ = tail;
    size_t want = capacity_ - end_;
    size_t got = fread(buffer_.get() + end_, 1, want, in_);
    end_ += got;
    if (got < want) {
        eof_ = true;
        if (ferror(in_)) failed_ = true;
    }
    return got > 0 || tail > 0;
}

}  // namespace logselect
