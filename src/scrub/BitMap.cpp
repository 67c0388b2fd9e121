// Bitmaps of character sets and the scrubber's constant character classes.
#include "scrub/BitMap.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

void _createBitMapFromString(const std::string& text, bool ignoreCase, BitMap_t& out) {
    out = BitMap_t();
    for (char c : text) scrub::bitmapAdd(out, ignoreCase ? scrub::lowerAscii(c) : c);
}

BitMap_t createIgnoreCaseBitMap(const std::string& text) {
    BitMap_t map;
    _createBitMapFromString(text, true, map);
    return map;
}

BitMap_t createCaseBitMap(const std::string& text) {
    BitMap_t map;
    _createBitMapFromString(text, false, map);
    return map;
}

bool overlapBitMap(const BitMap_t& a, const BitMap_t& b) {
    return ((a.bits[0] & b.bits[0]) | (a.bits[1] & b.bits[1]) | (a.bits[2] & b.bits[2]) |
            (a.bits[3] & b.bits[3])) != 0;
}

bool includeBitMap(const BitMap_t& a, const BitMap_t& b) {
    return scrub::bitmapIncludes(a, b);
}

bool excludeBitMap(const BitMap_t& a, const BitMap_t& b) {
    return !overlapBitMap(a, b);
}

bool existRegexReservedChar(const BitMap_t& bitmap) {
    return overlapBitMap(bitmap, scrub::charClasses().regexReserved);
}

std::string toLowerStr(const std::string& text) {
    std::string lower(text);
    scrub::lowerInto(lower.data(), lower.size(), lower.data());
    return lower;
}

InitAsciiCharSet::InitAsciiCharSet() {
    for (unsigned c = 0; c < 128; ++c) scrub::bitmapAdd(maps_[c], static_cast<unsigned char>(c));
}

namespace scrub {

void lowerInto(const char* in, size_t size, char* out) {
    size_t i = 0;
#ifdef __SSE2__
    // 16 bytes at a time: 'A'..'Z' (signed compare, bytes above 0x7F are negative and stay)
    // get the 0x20 bit.
    const __m128i belowA = _mm_set1_epi8('A' - 1);
    const __m128i aboveZ = _mm_set1_epi8('Z' + 1);
    const __m128i caseBit = _mm_set1_epi8(0x20);
    auto lower16 = [&](size_t at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
        const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, belowA), _mm_cmplt_epi8(v, aboveZ));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at),
                         _mm_or_si128(v, _mm_and_si128(upper, caseBit)));
    };
    for (; i + 16 <= size; i += 16) lower16(i);
    // The last bytes as the last 16: lowering a byte twice changes nothing, even in place,
    // and a log line's tail no longer goes byte by byte.
    if (i < size && size >= 16) {
        lower16(size - 16);
        return;
    }
#endif
    for (; i < size; ++i) out[i] = lowerAscii(in[i]);
}

const CharClasses& charClasses() {
    // A function-local static: built once, on first use, safely under concurrent first calls.
    static const CharClasses classes = [] {
        CharClasses c;
        c.word = createCaseBitMap("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890");
        c.hex = createCaseBitMap("abcdefABCDEF1234567890");
        c.regexReserved = createCaseBitMap("^$.*+?()[]{}|]\\");
        return c;
    }();
    return classes;
}

}  // namespace scrub
