#include "logselect/PieceReader.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace logselect {

PieceReader::PieceReader(FILE* in, long long startOffset, size_t blockSize)
    : in_(in),
      buffer_(new char[blockSize + kMaxPiece + kReadAhead]()),
      capacity_(blockSize + kMaxPiece),
      start_(startOffset),
      position_(startOffset) {}

bool PieceReader::next(Piece& piece) {
    for (;;) {
        size_t avail = end_ - begin_;
        if (avail > 0) {
            const char* start = buffer_.get() + begin_;
            size_t limit = avail < kMaxPiece ? avail : kMaxPiece;
            size_t newline = findNewline(begin_, begin_ + limit);
            size_t size;
            if (newline < begin_ + limit) {
                size = newline - begin_ + 1;
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
            piece.readable = capacity_ + kReadAhead - begin_;
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
    chunkValid_ = false;
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

size_t PieceReader::findNewline(size_t from, size_t limit) {
#if defined(__SSE2__)
    // Lines are short: one 64-byte mask of newlines serves about two of them, where a call to
    // memchr per line would start over each time. The buffer has kReadAhead bytes behind its
    // capacity, so a chunk that begins before the end of the data may always be loaded whole.
    const char* base = buffer_.get();
    const __m128i newline = _mm_set1_epi8('\n');
    size_t chunk = from & ~(size_t)63;
    while (chunk < limit) {
        if (!chunkValid_ || chunkBase_ != chunk) {
            uint64_t mask = 0;
            for (int i = 0; i < 4; ++i) {
                __m128i v =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + chunk + 16 * i));
                mask |= (uint64_t)(uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(v, newline))
                        << (16 * i);
            }
            chunkBase_ = chunk;
            chunkMask_ = mask;
            chunkValid_ = true;
        }
        uint64_t mask = from > chunk ? chunkMask_ & (~0ULL << (from - chunk)) : chunkMask_;
        if (mask) {
            size_t found = chunk + (size_t)__builtin_ctzll(mask);
            return found < limit ? found : limit;
        }
        chunk += 64;
    }
    return limit;
#else
    const void* found = memchr(buffer_.get() + from, '\n', limit - from);
    return found ? (size_t)((const char*)found - buffer_.get()) : limit;
#endif
}

}  // namespace logselect
