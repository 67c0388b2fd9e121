// The line scrubber for many lines: one object per thread, holding the compiled rules (shared),
// the masked names it already knows and the buffers it reuses from line to line. It gives
// every line, and the replacement map, exactly what scrubLogLine gives, including the
// masked names that rules take on lines where they replace nothing.
#pragma once

#include <boost/regex.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scrub/BoundedSearch.h"
#include "scrub/CompiledRules.h"
#include "scrub/MaskedNames.h"
#include "scrub/NameCache.h"
#include "scrub/PatternPositionTracker.h"
#include "scrub/RuleApplication.h"

namespace scrub {

// What a line becomes when a rule could not be applied to it (the engine gave up, the line's
// time ran out): the line is withheld whole, never written half masked.
constexpr char kRedactedLine[] = "Masked_RedactedLine";
// The time the rules may take on one line before it is withheld.
constexpr std::chrono::milliseconds kLineTimeLimit{1000};

// A line inside a block of lines: its offset and size (without its "\n").
struct LineSpan {
    size_t offset;
    size_t size;
};

class LineScrubber {
  public:
    // rememberNames: the map lives as long as this object and only grows meanwhile (true
    // within one request), so a name, once found, is taken from a cache. Without it every
    // lookup goes to the map.
    LineScrubber(std::shared_ptr<const CompiledRules> rules, NameSource names,
                 bool rememberNames = true);

    // Masks the line in place (the header-line rules included). False when a rule could not
    // be applied: the line is then kRedactedLine (with the line's final "\n", if any).
    bool scrub(std::string& line);
    // Scrubs the lines of a block and appends each, with "\n", to out: the same lines and
    // the same map as scrub() line by line. The lines lie in block at spans, in order, each
    // followed by at least one byte of no line. One scan of the block finds the rules' texts;
    // a line in which no rule can change anything (nor take a name) is copied as it is.
    void scrubLines(const std::string& block, const std::vector<LineSpan>& spans, std::string& out);
    // Lines withheld so far.
    size_t redactedLines() const { return redactedLines_; }
    void setLineTimeLimit(std::chrono::nanoseconds limit) { lineTimeLimit_ = limit; }

    const CompiledRules& rules() const { return *rules_; }
    // Points the scrubber at another map; only for a scrubber that does not remember names.
    void setNameSource(NameSource names) { names_ = names; }

  private:
    // scrub() with the literal rules found in the line by the block scanner (the others are
    // looked for by the per-line prefilter); null: every literal rule by the prefilter.
    // lowered: untouched() has just put this line, lower-cased, in firstLower_ and noted
    // where the regex rules' prefilters let a search begin. A scanned id with
    // kBeginsInTestedText set occurs at or after the line's test offset.
    bool scrubLine(std::string& line, const std::vector<uint32_t>* scanned, bool lowered);
    // True when no rule can change the line or the map: no literal rule occurs in it, no
    // regex rule's prefilter (or, without one, its set) lets a search begin, and no rule
    // whose name is unknown would be tried.
    bool untouched(const char* line, size_t size);
    const BitMap_t& rawLineSet(const char* line, size_t size);
    // The rule's set test on the line as read, from the test offset on.
    bool lineHasSet(const CompiledRule& rule);
    const std::string& literalName(size_t rule);
    const std::string& matchName(const char* text, size_t size);
    void applyRegex(size_t index, std::string& line);
    // The search of one regex rule from start (base: from) over the rest of lower; the
    // match is then in search_.
    bool searchFrom(const CompiledRule& rule, const std::string& lower, size_t from, size_t start);
    const std::string& currentLower(const std::string& line);
    void markVisit(size_t rule) { visit_[rule >> 6] |= uint64_t{1} << (rule & 63); }
    void redact(std::string& line, size_t rule, const char* what);
    bool outOfTime() const;

    std::shared_ptr<const CompiledRules> rules_;
    NameSource names_;
    bool rememberNames_;

    // Literal rules whose name is known; the others (and every regex rule) are visited on
    // every line that passes their bitmap test, so that names are handed out in rule order.
    std::vector<std::string> literalNames_;
    std::vector<uint64_t> alwaysVisit_;
    NameCache matchNames_;
    std::string lookupResult_;

    // Per line.
    std::vector<uint64_t> visit_;
    std::vector<uint64_t> candidates_;  // literal rules that occur in the line
    std::string firstLower_;            // the line as read, lower-cased
    size_t lineOffset_ = 0;
    BitMap_t lineSet_;  // of firstLower_ from lineOffset_, once lineSetReady_
    bool lineSetReady_ = false;
    std::string lower_;  // the changed line, lower-cased (when lowerCurrent_)
    bool lowerCurrent_ = false;
    PatternPositionTracker tracker_;
    RuleScratch scratch_;
    BoundedSearch search_;
    std::string matchText_;
    std::chrono::nanoseconds lineTimeLimit_ = kLineTimeLimit;
    long long lineDeadline_ = 0;  // coarse monotonic nanoseconds
    size_t redactedLines_ = 0;
    size_t lineMasked_ = 0;  // replacements made on the current line

    // Block scanning.
    CandidateScanner::Scratch scanScratch_;
    std::vector<CandidateScanner::Hit> hits_;
    std::vector<uint32_t> lineLiterals_;  // literal rules found on the current line
    std::vector<uint32_t> regexRules_;    // regex rules that compiled
    std::vector<uint32_t> unknownNames_;  // literal rules whose name is not known yet
    bool unknownNamesStale_ = true;
    bool lineChanged_ = false;  // a rule changed the current line
    BitMap_t rawSet_;
    bool rawSetCurrent_ = false;
    std::string line_;
    bool linePrepared_ = false;  // untouched() lowered the line into firstLower_
    // Where untouched() found that a regex rule's search may begin on the line as read
    // (npos: nowhere), valid for the rules whose stamp is prepareStamp_.
    std::vector<size_t> preparedStart_;
    std::vector<uint64_t> preparedStamp_;
    uint64_t prepareStamp_ = 0;
    std::vector<uint64_t> textInTestedPart_;  // literal rules the scanner saw there
};

// Values masked by every line scrubber of this process so far, counted on lines that are kept:
// a withheld line counts nothing. A program reads it once its scrubbing is done.
uint64_t maskedValueCount();

// A scrubber for many lines of one request: rules prepared once, names remembered. The map
// must outlive it and only grow meanwhile (true within a request). Null rules: null (the
// lines stay as they are). Several times faster than scrubLogLine line by line, which has to
// ask the map for every name.
std::unique_ptr<LineScrubber> makeLineScrubber(const ScrubRuleList* rules,
                                               ReplacementMap* replacements);

// The header-line rules: a line beginning with one of the identifying header prefixes is
// replaced by the prefix and the masked suffix unless it already holds its marker.
// True when it replaced the line.
bool applyCustomLineRules(std::string& line);

// The test text of a line starts after the 27-byte entry-line prefix when the line has one.
size_t testTextOffset(const char* line, size_t size);
inline size_t testTextOffset(const std::string& line) {
    return testTextOffset(line.data(), line.size());
}

}  // namespace scrub
