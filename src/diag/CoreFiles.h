// Core files: the newest cores of the core directory, limited in total and per program, run
// through the product's core analyser into one output folder.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "host/Error.h"
#include "host/Export.h"

// Appends the analyser's output folder to includes when there were cores to look at.
SL_API bool bundleWysnapcore(std::vector<std::string>& includes, const char* coreDir);
// The grouping key of a core: what "file" says about it, without the leading "<path>: ".
CTeError getExecutable(const std::string& corePath, std::string& key);

namespace diag {

struct CoreCandidate {
    std::string path;
    bool hasTime = false;  // the modification time could be read
    time_t modified = 0;
};

// The candidates of coreDir (entries whose name contains "core"), newest first; those whose
// time could not be read come last, in name order. False when the folder cannot be read.
bool listCoreCandidates(const std::string& coreDir, std::vector<CoreCandidate>& out);
// The core analysis settings: processing switch and limits.
struct CoreLimits {
    bool enabled = true;
    long maxCores = 10;
    long maxPerProgram = 3;
};
CoreLimits readCoreLimits();

}  // namespace diag
