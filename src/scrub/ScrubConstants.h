// The scrubber's exported constants: masked-name defaults, the custom header-line table and
// the default scrubbing expression offered to the host.
#pragma once

#include <string>

#include "host/Export.h"

// A product log header line that identifies the machine: lines beginning with linePrefix are
// masked unless they already hold maskedMarker (an empty marker: always masked).
struct ScrubCustomLinePatterns_t {
    std::string linePrefix;
    std::string maskedMarker;
};

constexpr int kCustomLinePatternCount = 4;
extern SL_API const ScrubCustomLinePatterns_t cscrubLines[kCustomLinePatternCount];

// Prefix of generated masked names ("MaskedData" + number).
extern SL_API const std::string defaultScrubbingReplaceStr;
// Replaces the rest of a masked custom header line; ends with a line feed.
extern SL_API const std::string defaultCustomLineScrubSuffixStr;
// A grep basic regular expression for addresses, dotted names and absolute paths. Offered to
// the host; nothing in the library applies it.
extern SL_API const std::string defaultScrubbingExpr;
