// The main tar bundle's shell-built parts: the product log directory with the registry,
// firewall and setup files (one generated script), and the job results.
#pragma once

#include <string>
#include <vector>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

// Writes and runs the script that creates bundleFile from the log directory (without its
// "locks" folder), the registry directory in use, the firewall files of the base directory
// and, with the setup-logs option, the setup log folders; with the scrub option from scrubbed
// copies of all of them. extraFiles are added from their own folders, extraNames are further
// operands of the log directory's command (shell patterns stay patterns). True when the
// script was written and run; its exit status is not judged.
SL_API bool bundleLogs(long bundleNumber, const char* logDir, std::string bundleFile,
                       std::vector<std::string>* extraFiles, std::vector<std::string>* extraNames,
                       unsigned long options, ScrubRuleList* scrubRules,
                       ReplacementMap* replacements);

// Appends the client's job results (the job's folder, or all of them for job 0), the job
// results base folder and the media library log to bundleFile. Always true.
SL_API bool bundleJobResultLogs(const char* bundleFile, const char* clientName, long long jobId);

namespace bundle {

// What the log bundle script is made of.
struct BundleScript {
    std::string bundleFile;
    std::string sourceDir;    // the log directory, or its scrubbed copy
    std::string excludeFile;  // holds "./locks"
    bool scrubbed = false;    // the include list was copied into sourceDir: no create line
    std::vector<std::string> includeList;
    const std::vector<std::string>* extraFiles = nullptr;
    const std::vector<std::string>* extraNames = nullptr;
};

// The script text. Every path is quoted for the shell; a folder the script cannot change
// into ends it, so nothing is packed from elsewhere. Entries that cannot be written safely
// (too long, a control character in an extra name) are left out with a log line.
std::string composeBundleScript(const BundleScript& script);

}  // namespace bundle
