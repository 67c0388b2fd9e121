// The scrub rule record and the containers a request carries: the ordered rule list and the
// replacement map (lower-case value to masked name).
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/Export.h"
#include "scrub/BitMap.h"

// One rule: the characters a line must contain for the rule to be tried, and its kind.
struct ScrubPatternConfig_t {
    BitMap_t charSet;
    bool isRegex = false;
};

using ScrubRuleList = std::vector<std::pair<std::string, ScrubPatternConfig_t>>;
using ReplacementMap = std::map<std::string, std::string>;

// A rule whose bitmap holds the characters of text, lower-cased.
SL_API ScrubPatternConfig_t createIgnoreCaseScrubPatternConfig(const std::string& text,
                                                               bool isRegex);
