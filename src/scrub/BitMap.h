// Character-set bitmaps of the scrub rules, the character classes of the line scrubber and
// the ASCII lower-casing the scrubber uses everywhere.
#pragma once

#include <cstdint>
#include <string>

#include "host/Export.h"

// A set of 7-bit character codes: bit (c & 31) of word ((c & 0x7F) >> 5).
struct BitMap_t {
    uint32_t bits[4] = {0, 0, 0, 0};
    bool operator==(const BitMap_t& o) const {
        return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2] &&
               bits[3] == o.bits[3];
    }
};

// Clears out, then sets the bit of every byte of text (reduced to 7 bits; ignoreCase folds
// 'A'..'Z' to lower case first, every other byte stays as it is).
SL_API void _createBitMapFromString(const std::string& text, bool ignoreCase, BitMap_t& out);
SL_API BitMap_t createIgnoreCaseBitMap(const std::string& text);
SL_API BitMap_t createCaseBitMap(const std::string& text);

// a and b share at least one bit.
SL_API bool overlapBitMap(const BitMap_t& a, const BitMap_t& b);
// Every bit of b is in a (the empty set is a subset of every set).
SL_API bool includeBitMap(const BitMap_t& a, const BitMap_t& b);
// a and b share no bit.
SL_API bool excludeBitMap(const BitMap_t& a, const BitMap_t& b);
// The bitmap holds one of the characters that are special in a regular expression.
SL_API bool existRegexReservedChar(const BitMap_t& bitmap);

// A copy of text lower-cased by ASCII rules (only 'A'..'Z' change).
SL_API std::string toLowerStr(const std::string& text);

// A table of 128 one-bit bitmaps; entry c holds only the code c. The index is reduced to
// seven bits, so a byte 0x80 and above is classified as its low seven bits.
class InitAsciiCharSet {
  public:
    InitAsciiCharSet();
    const BitMap_t& operator[](unsigned index) const { return maps_[index & 0x7F]; }

  private:
    BitMap_t maps_[128];
};

namespace scrub {

// Inline helpers of the hot loops: the same rules as the functions above, without a call.
inline char lowerAscii(char c) {
    // Branch-free: mixed-case text would otherwise mispredict on every capital.
    const unsigned u = static_cast<unsigned char>(c);
    return static_cast<char>(u | (static_cast<unsigned>(u - 'A' < 26u) << 5));
}
inline bool bitmapHas(const BitMap_t& set, unsigned char c) {
    const unsigned code = c & 0x7Fu;
    return (set.bits[code >> 5] >> (code & 31u)) & 1u;
}
inline void bitmapAdd(BitMap_t& set, unsigned char c) {
    const unsigned code = c & 0x7Fu;
    set.bits[code >> 5] |= 1u << (code & 31u);
}
inline bool bitmapIncludes(const BitMap_t& a, const BitMap_t& b) {
    return ((a.bits[0] & b.bits[0]) == b.bits[0]) & ((a.bits[1] & b.bits[1]) == b.bits[1]) &
           ((a.bits[2] & b.bits[2]) == b.bits[2]) & ((a.bits[3] & b.bits[3]) == b.bits[3]);
}
// Lower-cases size bytes of in into out (which may be in itself).
void lowerInto(const char* in, size_t size, char* out);

// The scrubber's constant character classes, built once on first use (thread-safe).
struct CharClasses {
    BitMap_t word;           // ASCII letters and digits
    BitMap_t hex;            // hexadecimal digits
    BitMap_t regexReserved;  // ^ $ . * + ? ( ) [ ] { } | and backslash
    InitAsciiCharSet ascii;  // one bitmap per 7-bit code
};
const CharClasses& charClasses();

inline bool isWordChar(unsigned char c) {
    return bitmapHas(charClasses().word, c);
}
inline bool isHexChar(unsigned char c) {
    return bitmapHas(charClasses().hex, c);
}

}  // namespace scrub
