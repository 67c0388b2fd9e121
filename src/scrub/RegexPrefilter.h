// What any non-empty match of a regex rule must contain, found by reading the expression:
// short sequences of character sets ("a digit followed by a dot", up to eight sets in a run),
// how far into a match each can lie, and the longest a match can be. A line without one of
// them holds no match, and a match cannot start more than its offset before the first place
// where a factor is seen, nor more than that length before the place where all of them have
// been seen, so the search may skip ahead. Expressions that use anything this reader does
// not know get no prefilter.
#pragma once

#include <array>
#include <bitset>
#include <optional>
#include <string>
#include <vector>

namespace scrub {

using ByteSet = std::bitset<256>;

struct RegexFactor {
    std::vector<ByteSet> sets;  // sets of consecutive bytes (one to eight)
    long maxOffset = -1;        // most bytes of a match before it (-1: not known)
};

// A factor prepared for scanning: byte tables, and the single byte to look for with memchr
// when one of its sets holds just one byte.
struct FactorScan {
    size_t length = 1;
    std::vector<std::array<bool, 256>> sets;
    int anchorByte = -1;  // the byte memchr looks for
    size_t anchorAt = 0;  // its index within the factor
};

// The byte tables and memchr anchor of one factor.
FactorScan prepareFactorScan(const RegexFactor& factor);

class RegexPrefilter {
  public:
    // Empty when the expression cannot be read with certainty, or when it may match the
    // empty text.
    static std::optional<RegexPrefilter> analyze(const std::string& expression);

    // Where a search of text from `from` may begin without missing a match, or npos when no
    // match can start at or after from.
    size_t skipTo(const std::string& text, size_t from) const;

    const std::vector<RegexFactor>& factors() const { return factors_; }
    // -1: unbounded.
    long maxLength() const { return maxLength_; }
    // A match, and every assertion tried on the way to it, reads at most maxLength() bytes
    // and the one after them (no lookahead): the expression may be searched in windows.
    bool windowed() const { return windowed_; }

  private:
    std::vector<RegexFactor> factors_;
    std::vector<FactorScan> scans_;
    long maxLength_ = -1;
    bool windowed_ = false;
};

}  // namespace scrub
