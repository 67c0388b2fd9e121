// Masking of single lines.
#pragma once

#include <string>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

// Masks the line in place by the rules: 0. When a rule could not be applied to the line it is
// withheld whole (replaced by "Masked_RedactedLine"): -1. Null rules: the line is unchanged.
SL_API int scrubLogLine(std::string& line, ScrubRuleList* rules, ReplacementMap* replacements);
// The line begins with the product's 27-column entry-line prefix.
SL_API bool includeLogLineHeader(const std::string& line);
SL_API void checkScrubCustomLinePatterns(std::string& line, ScrubRuleList* rules,
                                         ReplacementMap* replacements);
// Case-insensitive containment; an empty pattern occurs everywhere.
SL_API bool SearchContent(std::string text, std::string pattern);
