// The scrub rule record, the character-set bitmap and the containers a request carries.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/export.h"

// A set of 7-bit character codes: bit (c & 31) of word ((c & 0x7F) >> 5).
struct BitMap_t {
    uint32_t bits[4] = {0, 0, 0, 0};
    bool operator==(const BitMap_t& o) const {
        return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2] &&
               bits[3] == o.bits[3];
    }
};

// One rule: the characters a line must contain for the rule to be tried, and its kind.
struct ScrubPatternConfig_t {
    BitMap_t charSet;
    bool isRegex = false;
};

using ScrubRuleList = std::vector<std::pair<std::string, ScrubPatternConfig_t>>;
using ReplacementMap = std::map<std::string, std::string>;
