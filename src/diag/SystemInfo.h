// The system information bundle: outputs of system commands, system files and processed
// cores, appended to the request's tar bundle (as a scrubbed copy when scrubbing is on).
#pragma once

#include <string>
#include <vector>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

// bundleNumber names the scripts; supportDir, extraOptions and installDir are not read.
SL_API bool bundleSystemLogs(long bundleNumber, std::string& supportDir, std::string bundleFile,
                             unsigned long options, unsigned long extraOptions,
                             std::string installDir, ScrubRuleList* scrubRules,
                             ReplacementMap* replacements);

namespace diag {

// The script that writes the system command outputs into workDir.
std::string systemCommandsScript(const std::string& workDir);
// The system files and command outputs of workDir that the bundle receives, in order.
std::vector<std::string> systemIncludeList(const std::string& workDir);
// The script that appends includes (or, when scrubFolder is not empty, the scrubbed copy
// in it) to bundle and removes the command outputs from workDir.
std::string systemBundleScript(const std::string& bundle, const std::vector<std::string>& includes,
                               const std::string& scrubFolder, const std::string& workDir);

}  // namespace diag
