// The scrub patterns file: one rule per line, "value", "value&#*#&masked name" or
// "expression&#*#&##isregexmagic##hint".
#pragma once

#include <string>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

// Appends the file's rules to rules and its named masks to replacements (never clearing
// either). 0 when the whole file was read, -1 otherwise: also for anything but a regular
// file, and for a file over kMaxPatternFileBytes.
SL_API int populateScrubPatternsFromFile(std::string path, ScrubRuleList& rules,
                                         ReplacementMap& replacements);

namespace scrub {

constexpr const char* kPatternSeparator = "&#*#&";
constexpr const char* kRegexMarker = "##isregexmagic##";
// Limits of the file format: a line (without its end) and a field.
constexpr size_t kMaxPatternLine = 4095;
constexpr size_t kMaxPatternField = 1023;
// A patterns file larger than this is refused: it is no rule list (a device, a log).
constexpr size_t kMaxPatternFileBytes = 16 << 20;
// Problem lines logged one by one; the rest are counted.
constexpr size_t kMaxPatternProblemsLogged = 20;

enum class PatternRecordStatus { Added, EmptyValue, FieldTooLong };

// Applies one record (a line without its line end, not empty) to the containers.
PatternRecordStatus addPatternRecord(const std::string& record, ScrubRuleList& rules,
                                     ReplacementMap& replacements);

}  // namespace scrub
