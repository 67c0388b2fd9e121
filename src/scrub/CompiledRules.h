// A rule list prepared for scrubbing many lines: regular expressions compiled once per rule,
// the literal texts gathered into one prefilter. Immutable once built, so the workers of a
// tree scrub share one.
#pragma once

#include <atomic>
#include <boost/regex.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scrub/CandidateScanner.h"
#include "scrub/LiteralPrefilter.h"
#include "scrub/RegexPrefilter.h"
#include "scrub/ScrubRule.h"

namespace scrub {

struct CompiledRule {
    std::string text;
    BitMap_t charSet;
    bool isRegex = false;
    bool broken = false;                  // a regex that does not compile: never applied
    bool setIsText = false;               // a literal rule whose set is its text's own
    int setCodes = 0;                     // codes in charSet
    unsigned char codes[2] = {0, 0};      // the first two of them
    std::unique_ptr<boost::regex> regex;  // regex rules that compiled
    std::optional<RegexPrefilter> regexPrefilter;
};

struct ScannerOptions {
    bool enabled = true;
    // Test seam: patterns the scanner is made to refuse, as if it could not compile them.
    bool (*refuse)(const std::string& pattern) = nullptr;
};

class CompiledRules {
  public:
    // Compiles every regex rule; one that does not compile is logged once and skipped.
    explicit CompiledRules(const ScrubRuleList& rules, const ScannerOptions& scanner = {});

    const std::vector<CompiledRule>& rules() const { return rules_; }
    // All literal rules.
    const LiteralPrefilter& prefilter() const { return prefilter_; }
    // The block scanner (null without one), and the literal rules it does not scan.
    const CandidateScanner* scanner() const { return scanner_.get(); }
    const LiteralPrefilter& unscannedPrefilter() const { return unscanned_; }
    // The list holds exactly these rules (texts, sets and kinds), in this order.
    bool sameAs(const ScrubRuleList& rules) const;
    // True the first time it is asked for a rule (from any thread): a failing rule is
    // logged once per prepared list, not once per line or per file.
    bool firstFailure(size_t rule) const;

  private:
    std::vector<CompiledRule> rules_;
    LiteralPrefilter prefilter_;
    std::unique_ptr<CandidateScanner> scanner_;
    LiteralPrefilter unscanned_;
    std::unique_ptr<std::atomic<bool>[]> failed_;
};

// A short description of a regex error, without the expression's text (which may hold the
// very value the rule masks).
const char* describeRegexError(boost::regex_constants::error_type code);

}  // namespace scrub
