// Scrubbed copies the bundlers pack: of a mixed list of files and directories, and of a whole
// directory into a temporary folder of the job results directory.
#pragma once

#include <string>
#include <vector>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

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
