// Applying one rule to a line: literal rules replace whole words outside masked text, regex
// rules replace every match. Internal to the scrubber.
#pragma once

#include <string>
#include <vector>

#include "scrub/PatternPositionTracker.h"

namespace scrub {

// One replacement of a rule: at position (in the line as it grows), length bytes replaced by
// newLength bytes.
struct Replacement {
    int position;
    int length;
    int newLength;
};

// Buffers one thread reuses from rule to rule and from line to line.
struct RuleScratch {
    std::string output;
    std::vector<Replacement> replacements;
};

// Boundary test of the occurrence at position of length bytes in the lower-case line: an end
// (start) is a boundary next to a masked range, at the end (start) of the line, next to a
// byte that is not an ASCII letter or digit (0x80 and above included), and a start also
// right after a URL escape such as "%40".
void checkSeperatorChar(const std::string& lower, int position, int length, bool& start, bool& end,
                        const PatternPositionTracker& tracker);

// Replaces in line every accepted occurrence of text in lower (the lower-case form of line,
// fixed while the rule runs) by name, then records the replacements in the tracker. True
// when the line changed.
bool applyLiteralRule(std::string& line, const std::string& lower, const std::string& text,
                      const std::string& name, PatternPositionTracker& tracker,
                      RuleScratch& scratch);

// Records the replacements of one rule, in order.
void recordReplacements(const std::vector<Replacement>& replacements,
                        PatternPositionTracker& tracker);

// Applies one literal rule with its masked name (lower-cases the line itself).
void rawSearchAndReplaceLogLine(std::string& line, std::string text, std::string name,
                                PatternPositionTracker& tracker);

}  // namespace scrub
