// Zero-copy field view of one piece, cut by the same rules as ParseLogLine with 100-byte
// field buffers: fields are runs of non-blank bytes, a field yields at most 99 characters,
// the string ends at a NUL, and an entry needs eight fields. Inline: it runs on every line.
#pragma once

#include <climits>
#include <cstddef>
#include <cstring>
#include <string>

namespace logselect {

constexpr size_t kMaxField = 99;

struct FieldView {
    const char* data = nullptr;
    size_t size = 0;
    bool equals(const std::string& text) const {
        return size == text.size() && memcmp(data, text.data(), size) == 0;
    }
    bool equals(const char* text, size_t length) const {
        return size == length && memcmp(data, text, size) == 0;
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

// True when [p, p + n) reaches an eighth field. The eighth field is measured only when
// wantTag is set; the others always are (their ends lead to the next field).
inline bool cutEntryFields(const char* p, size_t n, EntryFields& out, bool wantTag) {
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
