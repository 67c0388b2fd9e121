// Scrubbed copies of single files: the source's lines, each scrubbed and ended by "\n";
// empty lines and lines that begin with a control byte or a byte 0x80 and above are left
// out, and a line is cut to its first 65536 bytes.
#pragma once

#include "host/Export.h"
#include "scrub/ScrubRule.h"

// Writes the scrubbed copy of source to destination (created or truncated). True when the
// whole source was read and the copy written.
SL_API bool scrubSingleLogFile(const char* source, const char* destination, ScrubRuleList* rules,
                               ReplacementMap* replacements);

namespace scrub {

class LineScrubber;

constexpr size_t kMaxScrubbedFileLine = 65536;

// The same with a prepared scrubber (null: lines are copied unscrubbed); append adds to an
// existing copy instead of replacing it.
bool scrubFileWith(const char* source, const char* destination, LineScrubber* scrubber,
                   bool append = false);

}  // namespace scrub
