// Time-window extraction: the lines of one log file whose reconstructed time lies in a window,
// and the byte range of a file that a window covers (found by a short bisection).
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

#include "host/Export.h"
#include "logselect/ExtractionTally.h"
#include "scrub/ScrubRule.h"

// Writes the lines of logDir/fileName from fromTime to toTime (widened to whole minutes; 0:
// no bound) into out. False when the file could not be decompressed, opened or read to its
// end, a line's time was bad, or the lines could not be written.
SL_API bool getLogFilesByTime(FILE* out, std::string logDir, std::string fileName, time_t fromTime,
                              time_t toTime, const char* machineName, std::string searchText,
                              bool scrub, ScrubRuleList* scrubRules, ReplacementMap* replacements);
// Byte range of path that holds the window: startOffset at a line start at or before the
// first line of the window, endOffset at or after the end of its last line; 0 means the
// beginning and the end of the file respectively.
SL_API void findFileOffsets(const char* path, time_t fromTime, time_t toTime,
                            long long& startOffset, long long& endOffset);

namespace logselect {

// One file through the time window, with what happened added to tally. False when it was not
// read to its end (a malformed time counts in tally.stopped, any other cause in
// tally.unreadable).
bool extractWindowFile(FILE* out, const std::string& logDir, const std::string& fileName,
                       time_t fromTime, time_t toTime, const char* machineName,
                       const std::string& searchText, bool scrub, ScrubRuleList* scrubRules,
                       ReplacementMap* replacements, ExtractionTally& tally);

}  // namespace logselect
