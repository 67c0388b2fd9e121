// How the extractors' line loops report an exception that escaped them.
#pragma once

namespace logselect {

// Call from a catch block: logs a Boost exception with its diagnostic text (debug) and any
// other exception as "Threw an exception" (error), under the extractor's tag.
void logLoopException(const char* tag);

}  // namespace logselect
