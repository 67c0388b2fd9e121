// The scrubbing fronts the bundlers call: a mixed list of files and directories, the product
// log directory, and a list packed into a 7z archive.
#pragma once

#include <string>
#include <vector>

#include "host/export.h"
#include "scrub/ScrubTypes.h"

// Scrubs each item (joined to baseDir when given) into destDir: directories through the tree
// scrubber, files on this thread with the caller's map. Appends what was made to output
// (destDir for a directory, the copy for a file). Always true; failures are logged.
SL_API bool scrubFileOrDirList(const char* baseDir, std::vector<std::string> items,
                               const char* destDir, ScrubRuleList* rules,
                               ReplacementMap* replacements, std::vector<std::string>* output);

// Scrubs a directory into a new folder of the job results directory. 0 with scrubbed set and
// scrubbedDir naming the folder (the caller removes it), -1 on failure.
SL_API int scrubLogFilesWrapper(std::string sourceDir, ScrubRuleList* rules,
                                ReplacementMap* replacements, bool& scrubbed,
                                std::string& scrubbedDir);

// Packs items into a 7z archive; with scrub, their scrubbed copies (made in a temporary
// folder that is removed afterwards). label names the items in log lines.
SL_API bool archiveFileList(char* archivePath, const char* baseDir, std::vector<std::string> items,
                            bool scrub, ScrubRuleList* rules, ReplacementMap* replacements,
                            const char* label);
