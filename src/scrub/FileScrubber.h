// Scrubbed copies of single files: the source's lines, each scrubbed and ended by "\n";
// empty lines and lines that begin with a control byte or a byte 0x80 and above are left
// out, and a line is cut to its first 65536 bytes.
#pragma once

#include <string>
#include <vector>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

// Writes the scrubbed copy of source to destination. The copy is written under a temporary
// name and takes the destination's place only when complete, with the source's permissions
// but never more than owner read and write. True when the whole source was read and the
// copy written; a destination that is the source itself (also through a link) is refused.
SL_API bool scrubSingleLogFile(const char* source, const char* destination, ScrubRuleList* rules,
                               ReplacementMap* replacements);

namespace scrub {

class LineScrubber;

constexpr size_t kMaxScrubbedFileLine = 65536;

enum class CopyOutcome {
    Written,
    SourceNotRegular,     // a FIFO, socket or device: left out, never read
    SourceUnreadable,     // could not be opened or read to its end
    DestinationIsSource,  // refused: the copy would replace its own source
    WriteFailed,          // the copy could not be written whole (nothing is left of it)
};

// The scrubbed lines of every source, in order, as one copy at destination (null scrubber:
// the kept lines unscrubbed). Anything but Written leaves the destination as it was.
CopyOutcome scrubFilesInto(const std::vector<std::string>& sources, const std::string& destination,
                           LineScrubber* scrubber);
inline bool scrubFileWith(const char* source, const char* destination, LineScrubber* scrubber) {
    return source && destination &&
           scrubFilesInto({source}, destination, scrubber) == CopyOutcome::Written;
}

}  // namespace scrub
