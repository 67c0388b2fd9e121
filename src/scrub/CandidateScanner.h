// One pass over a block of many lines that finds where the literal texts of the rules occur
// (a multi-pattern scanner, vectorscan). It only points at candidates: the rules themselves
// are applied as always, with the whole-word test, so results do not depend on the scanner's
// syntax. A rule it cannot take is left to the per-line prefilter. Regex rules are left to
// their own prefilters: scanning the byte sequences their matches must hold (classes of
// digits and hex digits) cost more in the scan than it saved on the lines. Nor is the scanner
// trusted with the expressions themselves: Debian's vectorscan 5.4.9 missed matches of plain
// expressions (":+\w", an IPv4 expression with \b on some line lengths) in a randomized
// comparison with Boost.Regex on an AVX-512 machine, where it never missed a literal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct hs_database;
struct hs_scratch;

namespace scrub {

struct CompiledRule;

class CandidateScanner {
  public:
    // One occurrence: the pattern and the offset just past its last byte.
    struct Hit {
        uint32_t end;
        uint32_t pattern;
    };
    // Per-thread scanning state.
    class Scratch {
      public:
        Scratch() = default;
        ~Scratch();
        Scratch(const Scratch&) = delete;
        Scratch& operator=(const Scratch&) = delete;

      private:
        friend class CandidateScanner;
        hs_scratch* scratch_ = nullptr;
    };

    // Literal texts longer than this are left to the per-line prefilter: they are rare, and
    // each costs the scanner's tables more than it saves.
    static constexpr size_t kMaxScannedLiteral = 255;

    // Null when no rule can be scanned or the scanner cannot be built. refuse: a test seam
    // that makes the scanner refuse the patterns it returns true for.
    static std::unique_ptr<CandidateScanner> build(const std::vector<CompiledRule>& rules,
                                                   bool (*refuse)(const std::string&) = nullptr);
    ~CandidateScanner();
    CandidateScanner(const CandidateScanner&) = delete;
    CandidateScanner& operator=(const CandidateScanner&) = delete;

    // Rule index of each pattern, and its length.
    uint32_t ruleOf(uint32_t pattern) const { return patterns_[pattern].rule; }
    uint32_t lengthOf(uint32_t pattern) const { return patterns_[pattern].length; }
    // The literal rule's occurrences are all reported.
    bool scansLiteral(size_t rule) const { return scannedLiteral_[rule]; }

    // Appends every occurrence in [data, data + size) to hits, ordered by end. False when
    // the scan failed (the hits are then not to be used).
    bool scan(const char* data, size_t size, Scratch& scratch, std::vector<Hit>& hits) const;

  private:
    struct Pattern {
        uint32_t rule;
        uint32_t length;
    };
    CandidateScanner() = default;

    hs_database* database_ = nullptr;
    std::vector<Pattern> patterns_;
    std::vector<bool> scannedLiteral_;
};

}  // namespace scrub
