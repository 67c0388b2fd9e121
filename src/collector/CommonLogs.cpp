// The common step: in job-log mode one filtered job log streamed straight back; in bundle
// mode the main bundle: the log directory and the job results, or a proxy client's
// downloaded logs.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bundle/ProxyBundle.h"
#include "bundle/TarBundles.h"
#include "collector/infoNLogsCollector.h"
#include "diag/JobResultFiles.h"
#include "host/File.h"
#include "logselect/FilteredLogFiles.h"

namespace {
const char* const kTag = "collectCommonLogs";
}

void infoNLogsCollector::setBundleFile() {
    char name[1024];
    int n = snprintf(name, sizeof(name), "%s/logFiles_%d.tar", strSupportDir.c_str(),
                     static_cast<int>(startTime));
    if (n < 0 || n >= static_cast<int>(sizeof(name))) {
        logger.Error(kTag, "Bundle path in [%s] is too long", strSupportDir.c_str());
        return;
    }
    bundleFile = name;
}

void infoNLogsCollector::collectCommonLogs() {
    if (needFilteredLog()) {
        collectJobLog();
    } else {
        collectBundle();
    }
}

void infoNLogsCollector::collectJobLog() {
    int idLen = snprintf(jobIdText, sizeof(jobIdText), "%lld", jobId);
    int pathLen = idLen < 0 || idLen >= static_cast<int>(sizeof(jobIdText))
                      ? -1
                      : snprintf(jobLogPath, sizeof(jobLogPath), "%s/%s_%ld.log",
                                 strSupportDir.c_str(), jobIdText, static_cast<long>(startTime));
    if (pathLen >= 0 && pathLen < static_cast<int>(sizeof(jobLogPath))) {
        jobLogFile = fopen_utf(jobLogPath, "w+");
    } else {
        // A name that does not fit its buffer is refused rather than cut short.
        jobLogPath[0] = '\0';
    }
    if (jobLogFile == nullptr) {
        logger.Error(kTag, "can't open the job log file [%s] for job [%lld].", jobLogPath, jobId);
        returnData.end(1);
        throw std::string("Failed to open the job log file");
    }

    getFilteredLogFiles(jobLogFile, logDir, jobId, jobIds, fromTime, toTime, clientNameText,
                        proxyFolder, searchText, tagId, nullptr, isScrubLogsEnabled(), &scrubRules,
                        &replacements);

    if (isScrubLogsEnabled()) {
        logger.Debug(kTag, "Scrub logs enabled. Skipping collecting RMAN logs.");
    } else {
        getRmanLogByJobId(jobLogFile, jobId, clientName, options);
    }

    if (isProxyClient && (options & OPT_JOB_RESULTS)) {
        if (isScrubLogsEnabled()) {
            logger.Debug(kTag,
                         "Scrub logs enabled. Skipping collecting proxy job results "
                         "directory.");
        } else if (proxyCleanUp.directory.empty()) {
            logger.Error(kTag, "No proxy download folder; no proxy job results to bundle");
        } else {
            setBundleFile();
            if (!bundleFile.empty())
                bundleProxyClientLogsAndJR(bundleFile.c_str(),
                                           proxyCleanUp.directory + "/jobResults");
        }
    }

    fclose(jobLogFile);
    jobLogFile = nullptr;
    viewFileContents(jobLogPath, *socket, 0, network);
    if (unlink_utf(jobLogPath) != 0) {
        logger.Error(kTag, "Cannot Cleanup file [%s], error : %d", jobLogPath, errno);
    }
}

void infoNLogsCollector::collectBundle() {
    if (!isProxyClient) {
        if (options & OPT_PRODUCT_LOGS) {
            setBundleFile();
            bundleLogs(static_cast<long>(startTime), logDir, bundleFile, nullptr, &extraNames,
                       options, &scrubRules, &replacements);
            if (!FXFile::DoesFileExist(bundleFile))
                logger.Debug(kTag, "bundleLogs did not create log file %s ", bundleFile.c_str());
        }
        if (options & OPT_JOB_RESULTS) {
            if (isScrubLogsEnabled()) {
                logger.Debug(kTag, "Scrub Logs is enabled. Will SKIP collecting Job Results.");
            } else {
                if (bundleFile.empty()) setBundleFile();
                bundleJobResultLogs(bundleFile.c_str(), clientName, jobId);
                if (!FXFile::DoesFileExist(bundleFile))
                    logger.Debug(kTag, "bundleJobResultLogs did not create log file %s ",
                                 bundleFile.c_str());
            }
        }
    }
    if (isProxyClient && (options & (OPT_PRODUCT_LOGS | OPT_JOB_RESULTS))) {
        if (isScrubLogsEnabled()) {
            logger.Debug(kTag,
                         "Scrub logs enabled. Skipping collecting proxy job results "
                         "directory.");
        } else if (proxyCleanUp.directory.empty()) {
            logger.Error(kTag, "No proxy download folder; nothing of the remote client to bundle");
        } else {
            setBundleFile();
            if (!bundleFile.empty())
                bundleProxyClientLogsAndJR(bundleFile.c_str(), proxyCleanUp.directory);
        }
    }
    if (bundleFile.empty()) throw std::string("unix log bundle name is empty, so skip collection");
}
