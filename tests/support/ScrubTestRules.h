// Small builders of rule lists for the scrubber tests.
#pragma once

#include <string>

#include "scrub/BitMap.h"
#include "scrub/ScrubRule.h"

namespace scrubtest {

inline void addLiteral(ScrubRuleList& rules, const std::string& text) {
    rules.emplace_back(toLowerStr(text), createIgnoreCaseScrubPatternConfig(text, false));
}

inline void addRegex(ScrubRuleList& rules, const std::string& expression,
                     const std::string& hint = "") {
    rules.emplace_back(expression, createIgnoreCaseScrubPatternConfig(hint, true));
}

// A product entry line: the 27-byte prefix (pid, tid, date, time) and a message.
inline std::string entryLine(const std::string& message) {
    return "12345 67890 03/15 10:22:33 " + message;
}

}  // namespace scrubtest
