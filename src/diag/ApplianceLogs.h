// Appliance media agent logs: virtualisation and cluster file system log folders, the
// operating-system report and the hardware logs, appended to the request's tar bundle (as a
// scrubbed copy when scrubbing is on).
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

SL_API bool bundleTessaroLogs(time_t bundleNumber, std::string& supportDir, std::string bundleFile,
                              unsigned long options, unsigned long extraOptions,
                              std::string installDir, ScrubRuleList* scrubRules,
                              ReplacementMap* replacements);

namespace diag {

// The appliance's log folders that exist on this machine, in collection order.
std::vector<std::string> applianceLogFolders();
// The report tool's plugin options: " -o '<enable>'" when an enable list is set, else " -a"
// followed by " -n '<skip>'" when a skip list is set.
std::string reportPluginOptions(const std::string& enable, const std::string& skip);
// The hardware-log command, or empty when the platform type asks for none (missing, or the
// plain appliance type) or the install directory is unknown.
std::string hardwareLogCommand(const std::string& platformType, const std::string& installDir,
                               const std::string& outputDir, const std::string& logDir);

struct ApplianceScriptInput {
    std::string tempDir;  // the script runs there
    std::string bundle;
    std::string supportDir;
    std::string bundleNumber;   // decimal text
    bool report = false;        // the machine is an appliance media agent
    std::string pluginOptions;  // see reportPluginOptions
    std::string operands;       // the tar operands, each followed by a blank
    std::string reportPattern;  // see reportPattern; empty: none
    std::string scrubFolder;    // not empty: the tar line takes it instead of the operands
};
// The report command line (also logged), without a line end.
std::string reportCommand(const ApplianceScriptInput& in);
std::string applianceScript(const ApplianceScriptInput& in);
// "<supportDir>/sosreport-WYNX-<n>-*": the supportDir part quoted, the rest left to the shell.
std::string reportPattern(const std::string& supportDir, const std::string& bundleNumber);

}  // namespace diag
