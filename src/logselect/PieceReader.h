// Block reader that hands out a log file as the pieces a 16384-byte line buffer would read:
// a line with its newline, 16383 bytes of a longer line, or the file's last bytes without a
// newline. Big reads and memchr for line ends; no allocation per piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

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
    static constexpr size_t kDefaultBlock = 1 << 17;

    // Reads in from its current position, which the caller has placed at startOffset.
    PieceReader(FILE* in, long long startOffset, size_t blockSize = kDefaultBlock);
    PieceReader(const PieceReader&) = delete;
    PieceReader& operator=(const PieceReader&) = delete;

    // False at the end of the file or after a read error (see failed()).
    bool next(Piece& piece);
    bool failed() const { return failed_; }
    // Bytes handed out so far, counted from the start offset.
    long long bytesRead() const { return position_ - start_; }

  private:
    bool refill();
    // Index of the first newline in [from, limit) of the buffer, or limit when there is none.
    size_t findNewline(size_t from, size_t limit);

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
