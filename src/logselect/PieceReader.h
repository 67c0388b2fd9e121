// Block reader that hands out a log file as the pieces a 16384-byte line buffer would read:
// a line with its newline, 16383 bytes of a longer line, or the file's last bytes without a
// newline. Big reads, newlines found 64 bytes at a time; no allocation or call per piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "logselect/TextFinder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace logselect {

// Characters per piece: a line buffer of 16384 bytes holds 16383 and the NUL.
constexpr size_t kMaxPiece = 16383;
// Readable bytes kept behind the data, so field cutting may load 64 bytes at any piece.
constexpr size_t kReadAhead = 64;

struct Piece {
    const char* data = nullptr;  // valid until the next call of next()
    size_t size = 0;             // 1 to kMaxPiece
    long long offset = 0;        // file offset of data[0]
    size_t readable = 0;         // bytes that may be read at data (at least size + 64)
    long long end() const { return offset + (long long)size; }
};

class PieceReader {
  public:
    // Small enough that a block the kernel has just copied in is still in the core's L2
    // cache when its lines are cut (1 MiB blocks measured about 6 % slower).
    static constexpr size_t kDefaultBlock = 1 << 18;

    // Reads in from its current position, which the caller has placed at startOffset.
    PieceReader(FILE* in, long long startOffset, size_t blockSize = kDefaultBlock);
    PieceReader(const PieceReader&) = delete;
    PieceReader& operator=(const PieceReader&) = delete;

    // False at the end of the file or after a read error (see failed()).
    bool next(Piece& piece) {
        for (;;) {
            size_t avail = end_ - begin_;
            if (avail > 0) {
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
                piece.data = buffer_.get() + begin_;
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
    // Passes over whole pieces that hold none of finder's texts: the next piece next() hands
    // out is the first one that may hold one, exactly as next() would have cut it. The pieces
    // passed over are never seen. False after a read error.
    bool skipToText(const TextFinder& finder);
    bool failed() const { return failed_; }
    // Bytes handed out so far, counted from the start offset.
    long long bytesRead() const { return position_ - start_; }

  private:
    bool refill();
    // Start of the piece next() would hand out that holds byte at (begin_ <= at <= end_):
    // pieces restart after every newline and are kMaxPiece bytes long within a line.
    size_t pieceStartOf(size_t at) const {
        const char* base = buffer_.get();
        const void* newline = at > begin_ ? memrchr(base + begin_, '\n', at - begin_) : nullptr;
        const size_t line =
            newline ? static_cast<size_t>(static_cast<const char*>(newline) - base) + 1 : begin_;
        return line + (at - line) / kMaxPiece * kMaxPiece;
    }
    void passTo(size_t at) {
        position_ += static_cast<long long>(at - begin_);
        begin_ = at;
    }

    // Index of the first newline in [from, limit) of the buffer, or limit when there is none.
    size_t findNewline(size_t from, size_t limit) {
#if defined(__SSE2__)
        // Lines are short: one 64-byte mask of newlines serves about two of them, where a
        // call to memchr per line would start over each time. The buffer has kReadAhead
        // bytes behind its capacity, so a chunk that begins before the end of the data may
        // always be loaded whole.
        size_t chunk = from & ~(size_t)63;
        while (chunk < limit) {
            if (!chunkValid_ || chunkBase_ != chunk) loadChunk(chunk);
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

#if defined(__SSE2__)
    void loadChunk(size_t chunk) {
        const __m128i newline = _mm_set1_epi8('\n');
        const char* base = buffer_.get() + chunk;
        uint64_t mask = 0;
        for (int i = 0; i < 4; ++i) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + 16 * i));
            mask |= (uint64_t)(uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(v, newline)) << (16 * i);
        }
        chunkBase_ = chunk;
        chunkMask_ = mask;
        chunkValid_ = true;
    }
#endif

    FILE* in_;
    std::unique_ptr<char[]> buffer_;
    size_t capacity_;
    size_t begin_ = 0;  // first byte not yet handed out
    size_t end_ = 0;    // end of the bytes read
    long long start_;
    long long position_;
    bool eof_ = false;
    bool failed_ = false;
    // Newline bits of the 64-byte chunk of the buffer at chunkBase_ (when chunkValid_).
    size_t chunkBase_ = 0;
    uint64_t chunkMask_ = 0;
    bool chunkValid_ = false;
};

}  // namespace logselect
