// The scrub patterns file: one rule per line, "value", "value&#*#&masked name" or
// "expression&#*#&##isregexmagic##hint".
#pragma once

#include <string>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

// Appends the file's rules to rules and its named masks to replacements (never clearing
// either). 0 when the whole file was read, -1 otherwise.
SL_API int populateScrubPatternsFromFile(std::string path, ScrubRuleList& rules,
                                         ReplacementMap& replacements);

namespace scrub {

constexpr const char* kPatternSeparator = "&#*#&";
constexpr const char* kRegexMarker = "##isregexmagic##";
// Limits of the file format: a line (without its end) and a field.
constexpr size_t kMaxPatternLine = 4095;
constexpr size_t kMaxPatternField = 1023;

enum class PatternRecordStatus { Added, EmptyValue, FieldTooLong };

// Applies one record (a line without its line end, not empty) to the containers.
PatternRecordStatus addPatternRecord(const std::string& record, ScrubRuleList& rules,
                                     ReplacementMap& replacements);

}  // namespace scrub
