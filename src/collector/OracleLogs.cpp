// The Oracle job result step: the job's backup or restore report, added to the main bundle
// or streamed to the requester on its own.
#include <cstring>

#include "collector/infoNLogsCollector.h"
#include "host/File.h"
#include "host/JobResults.h"
#include "host/Process.h"

namespace {
const char* const kTag = "collectOracleLogs";
}

void infoNLogsCollector::collectOracleLogs() {
    if ((options & OPT_NO_ORACLE_RESULTS) || jobId <= 0 ||
        !(options & (OPT_ORACLE_BACKUP | OPT_ORACLE_RESTORE)))
        return;
    if (isScrubLogsEnabled()) {
        logger.Debug(kTag, "Scrub Logs is enabled. Will SKIP collecting oracle %s results.",
                     (options & OPT_ORACLE_BACKUP) ? "backup" : "restore");
        return;
    }
    RetrieveResults results(2, jobId, (options & OPT_ORACLE_RESTORE) ? 2 : 1, clientName, 0);
    const char* path = results.getPath();
    if (path == nullptr) {
        logger.Debug(kTag, "Data is missing for job [%lld]: getPath(..) failed.", jobId);
        return;
    }
    if (!FXFile::DoesFileExist(path) || !results.checkBackupFile(path)) results.generateFile(path);

    if (!(options & OPT_DIRECT_RESULTS)) {
        if (bundleFile.empty()) {
            logger.Debug(kTag, "No main bundle to add [%s] to", path);
            return;
        }
        const std::string command = "cd " + host::shellQuote(strSupportDir) + " && tar -rvf " +
                                    host::shellQuote(bundleFile) + " " + host::shellQuote(path);
        if (command.size() >= sizeof(jobLogPath)) {
            logger.Error(kTag, "Command for [%.200s] is longer than %zu characters", path,
                         sizeof(jobLogPath) - 1);
            return;
        }
        WyProcess::system(command.c_str(), nullptr, nullptr, 0, false);
        return;
    }
    if (strlen(path) >= sizeof(jobLogPath)) {
        logger.Error(kTag, "Result path [%.200s...] is too long to stream", path);
        return;
    }
    memcpy(jobLogPath, path, strlen(path) + 1);
    viewFileContents(jobLogPath, *socket, 0, network);
}
