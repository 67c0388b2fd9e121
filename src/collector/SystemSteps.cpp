// The system information and requested-commands steps.
#include "collector/StepSupport.h"
#include "collector/infoNLogsCollector.h"
#include "diag/CommandOutput.h"
#include "diag/SystemInfo.h"

void infoNLogsCollector::collectSysLog() {
    const char* tag = "collectSysLog";
    if (!(options & OPT_SYSTEM_INFO) || isProxyClient || !collector::haveBundle(bundleFile, tag))
        return;
    if (bundleSystemLogs(startTime, strSupportDir, bundleFile, options, extraOptions, installDir,
                         &scrubRules, &replacements))
        logger.Debug(tag, "got sys logfiles in : %s", bundleFile.c_str());
    else
        logger.Debug(tag, "failed to bundle sys logfiles in : %s", bundleFile.c_str());
}

void infoNLogsCollector::collectCmdOutput() {
    const char* tag = "collectCmdOutput";
    if (commands.empty() || !collector::haveBundle(bundleFile, tag)) return;
    if (isScrubLogsEnabled()) {
        logger.Debug(tag, "Scrub Logs is enabled. Will SKIP collecting command output results.");
        return;
    }
    getCommandOutput(commands, nullptr, nullptr, startTime, false, bundleFile.c_str());
}
