// A list of files packed into a 7z archive, as they are or as scrubbed copies.
#pragma once

#include <string>
#include <vector>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

// Packs items into a 7z archive; with scrub, their scrubbed copies (made in a temporary
// folder that is removed afterwards). label names the items in log lines.
SL_API bool archiveFileList(char* archivePath, const char* baseDir, std::vector<std::string> items,
                            bool scrub, ScrubRuleList* rules, ReplacementMap* replacements,
                            const char* label);
