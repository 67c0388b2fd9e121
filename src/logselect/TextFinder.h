// Finds the first occurrence of any of a few short texts (job ids, a tag) in a block of bytes,
// 16 positions at a time: a position is a candidate when the text's first, second and last
// bytes all sit where they belong, and only candidates are compared whole. Lets an extractor
// jump over the lines that cannot concern it.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace logselect {

class TextFinder {
  public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    void add(const std::string& text) {
        if (text.empty()) return;
        for (const std::string& t : texts_)
            if (t == text) return;
        texts_.push_back(text);
        if (text.size() > longest_) longest_ = text.size();
    }
    bool empty() const { return texts_.empty(); }
    // Length of the longest text (0 when there is none).
    size_t longest() const { return longest_; }

    // Offset of the first byte of [p, p + n) where one of the texts begins, or npos.
    size_t find(const char* p, size_t n) const {
        size_t best = npos;
        for (const std::string& t : texts_) {
            // Only the part before the best hit so far can hold an earlier one.
            const size_t limit = best == npos ? n : best + t.size() - 1;
            const size_t at = findOne(p, limit < n ? limit : n, t);
            if (at < best) best = at;
        }
        return best;
    }

  private:
    static size_t findOne(const char* p, size_t n, const std::string& text) {
        const size_t k = text.size();
        if (k > n) return npos;
        if (k == 1) {
            const void* hit = memchr(p, text[0], n);
            return hit ? static_cast<size_t>(static_cast<const char*>(hit) - p) : npos;
        }
        const size_t last = n - k;  // the last position where the text fits
        size_t i = 0;
#if defined(__SSE2__)
        const __m128i first = _mm_set1_epi8(text[0]);
        const __m128i second = _mm_set1_epi8(text[1]);
        const __m128i end = _mm_set1_epi8(text[k - 1]);
        // Loads reach p + i + k - 1 + 15 at most, inside [p, p + n) while i + 16 <= last + 1.
        for (; i + 16 <= last + 1; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + k - 1));
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
                _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second)),
                _mm_cmpeq_epi8(c, end))));
            while (mask) {
                const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
                if (memcmp(p + at, text.data(), k) == 0) return at;
                mask &= mask - 1;
            }
        }
#endif
        for (; i <= last; ++i) {
            if (p[i] == text[0] && memcmp(p + i, text.data(), k) == 0) return i;
        }
        return npos;
    }

    std::vector<std::string> texts_;
    size_t longest_ = 0;
};

}  // namespace logselect
