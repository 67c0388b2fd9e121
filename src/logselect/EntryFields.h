// Zero-copy field view of one piece, cut by the same rules as ParseLogLine with 100-byte
// field buffers: fields are runs of non-blank bytes, a field yields at most 99 characters,
// the string ends at a NUL, and an entry needs eight fields. Inline: it runs on every line.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace logselect {

constexpr size_t kMaxField = 99;

// Fields are short (ids of a few characters): a plain loop beats a call to memcmp.
inline bool sameBytes(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

struct FieldView {
    const char* data = nullptr;
    size_t size = 0;
    bool equals(const std::string& text) const {
        return size == text.size() && sameBytes(data, text.data(), size);
    }
    bool equals(const char* text, size_t length) const {
        return size == length && sameBytes(data, text, size);
    }
    char first() const { return size ? data[0] : '\0'; }
};

// Fields 1 to 8 by number (index 0 unused).
struct EntryFields {
    FieldView field[9];
    const FieldView& processId() const { return field[1]; }
    const FieldView& threadId() const { return field[2]; }
    const FieldView& date() const { return field[3]; }
    const FieldView& time() const { return field[4]; }
    const FieldView& job() const { return field[5]; }
    const FieldView& tag() const { return field[8]; }
};

inline bool isEntryStart(char c) {
    return c >= '0' && c <= '9';
}

// Fields a caller wants views of, as bits (1 << field number).
constexpr unsigned kField1 = 1u << 1, kField2 = 1u << 2, kField3 = 1u << 3, kField4 = 1u << 4,
                   kField5 = 1u << 5, kField8 = 1u << 8;
constexpr unsigned kAllFields = kField1 | kField2 | kField3 | kField4 | kField5 | kField8;

// True when [p, p + n) reaches an eighth field. The eighth field is measured only when
// wanted; the others always are (their ends lead to the next field).
inline bool cutEntryFieldsScalar(const char* p, size_t n, EntryFields& out, unsigned wanted) {
    const bool wantTag = (wanted & kField8) != 0;
    const char* end = p + n;
    for (int field = 1;; ++field) {
        while (p < end && *p == ' ') ++p;
        if (p == end || *p == '\0') return false;
        const char* start = p;
        if (field == 8) {
            if (wantTag) {
                const char* limit = end - p > (ptrdiff_t)kMaxField ? p + kMaxField : end;
                while (p < limit && *p != ' ' && *p != '\0') ++p;
                out.field[8] = FieldView{start, (size_t)(p - start)};
            }
            return true;
        }
        while (p < end && *p != ' ' && *p != '\0') ++p;
        size_t size = (size_t)(p - start);
        out.field[field] = FieldView{start, size > kMaxField ? kMaxField : size};
    }
}

// Length of the run of field bytes at p (at most 99, never past end).
inline size_t fieldRun(const char* p, const char* end) {
    const char* limit = end - p > (ptrdiff_t)kMaxField ? p + kMaxField : end;
    const char* q = p;
    while (q < limit && *q != ' ' && *q != '\0') ++q;
    return (size_t)(q - p);
}

#if defined(__SSE2__)
// Bits of the 64 bytes at p (bit i for byte i) that are blanks and that are NULs.
inline void blankAndNulMasks(const char* p, uint64_t& blanks, uint64_t& nuls) {
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i zero = _mm_setzero_si128();
    blanks = 0;
    nuls = 0;
    for (int i = 0; i < 4; ++i) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        blanks |= (uint64_t)(uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank)) << (16 * i);
        nuls |= (uint64_t)(uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)) << (16 * i);
    }
}

// The same cut as cutEntryFieldsScalar, on the first 64 bytes at once: blanks and NULs as
// bit masks, field starts and ends from their edges. Needs 64 readable bytes at p.
inline bool cutEntryFieldsWide(const char* p, size_t n, EntryFields& out, unsigned wanted) {
    uint64_t inPiece = n >= 64 ? ~0ULL : ((1ULL << n) - 1);
    bool ended = n <= 64;  // the string ends inside these 64 bytes
    uint64_t blanks, nuls;
    blankAndNulMasks(p, blanks, nuls);
    nuls &= inPiece;
    if (nuls) {
        inPiece = (1ULL << __builtin_ctzll(nuls)) - 1;
        ended = true;
    }
    uint64_t nonBlank = ~blanks & inPiece;
    uint64_t starts = nonBlank & ~(nonBlank << 1);
    uint64_t ends = nonBlank & ~(nonBlank >> 1);
    if (!ended) ends &= ~(1ULL << 63);  // a run reaching byte 63 may go on
    for (int field = 1;; ++field) {
        // Out of starts, or a field running past these bytes: the eighth field is not here.
        if (!starts || (field < 8 && !ends))
            return ended && !starts ? false : cutEntryFieldsScalar(p, n, out, wanted);
        size_t start = (size_t)__builtin_ctzll(starts);
        starts &= starts - 1;
        if (field == 8) {
            if (wanted & kField8) {
                size_t size =
                    ends ? (size_t)__builtin_ctzll(ends) + 1 - start : fieldRun(p + start, p + n);
                out.field[8] = FieldView{p + start, size};
            }
            return true;
        }
        size_t last = (size_t)__builtin_ctzll(ends);
        ends &= ends - 1;
        if (wanted & (1u << field)) out.field[field] = FieldView{p + start, last + 1 - start};
    }
}
#endif

// True when [p, p + n) reaches an eighth field, cut as ParseLogLine does; the views of the
// wanted fields are set. readable: bytes that may be read at p (at least n); 64 or more
// allows the wide cut.
inline bool cutEntryFields(const char* p, size_t n, EntryFields& out, unsigned wanted,
                           size_t readable = 0) {
#if defined(__SSE2__)
    if (readable >= 64) return cutEntryFieldsWide(p, n, out, wanted);
#endif
    (void)readable;
    return cutEntryFieldsScalar(p, n, out, wanted);
}

// sscanf's "%d": white space skipped, an optional sign, at least one digit.
inline const char* scanDecimal(const char* p, const char* end, int& value) {
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end || *p < '0' || *p > '9') return nullptr;
    long long v = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        if (v <= INT_MAX) v = v * 10 + (*p - '0');
    }
    if (v > INT_MAX) v = INT_MAX;
    value = (int)(negative ? -v : v);
    return p;
}

// Reads count integers separated by the literal separator, like sscanf("%d/%d") or
// sscanf("%d:%d:%d"): true when all of them were read.
inline bool scanSeparated(const FieldView& f, char separator, int* values, int count) {
    const char* p = f.data;
    const char* end = f.data + f.size;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (p == end || *p != separator) return false;
            ++p;
        }
        p = scanDecimal(p, end, values[i]);
        if (!p) return false;
    }
    return true;
}

}  // namespace logselect
