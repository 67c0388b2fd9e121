// What the extraction of one or many log files came to, beyond the lines it wrote.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace logselect {

struct ExtractionTally {
    // Selected files that could not be opened, read to their end or decompressed: their lines
    // are missing from the dump.
    std::vector<std::string> unreadable;
    // Files whose reading stopped at a malformed time (time-window extraction).
    std::vector<std::string> stopped;
    // Files left out on purpose: not regular files, links leading out of the log folder.
    size_t leftOut = 0;
    // The dump could not be written whole.
    bool writeFailed = false;
    // Lines withheld because a scrub rule could not be applied to them.
    size_t redactedLines = 0;

    bool complete() const { return unreadable.empty() && !writeFailed; }
};

}  // namespace logselect
