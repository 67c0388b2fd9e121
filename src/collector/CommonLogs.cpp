// The common step: in job-log mode one filtered job log streamed straight back; in bundle
// mode the main bundle: the log directory and the job results, or a proxy client's
// downloaded logs.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bundle/ProxyBundle.h"
#include "bundle/TarBundles.h"
#include "collector/infoNLogsCollector.h"
#include "diag/JobResultFiles.h"
#include "host/File.h"
#include "host/FileHandle.h"
#include "logselect/FilteredLogFiles.h"

namespace {
const char* const kTag = "collectCommonLogs";
}  // namespace

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

static FILE* createJobLog(const char* path) {
    // The job log holds the product's lines: readable by the owner only.
    const int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "w+");
    if (!file) close(fd);
    return file;
}

void infoNLogsCollector::collectJobLog() {
    int idLen = snprintf(jobIdText, sizeof(jobIdText), "%lld", jobId);
    int pathLen = idLen < 0 || idLen >= static_cast<int>(sizeof(jobIdText))
                      ? -1
                      : snprintf(jobLogPath, sizeof(jobLogPath), "%s/%s_%ld.log",
                                 strSupportDir.c_str(), jobIdText, static_cast<long>(startTime));
    if (pathLen >= 0 && pathLen < static_cast<int>(sizeof(jobLogPath))) {
        jobLogFile = createJobLog(jobLogPath);
    } else {
        // A name that does not fit its buffer is refused rather than cut short.
        jobLogPath[0] = '\0';
    }
    if (jobLogFile == nullptr) {
        logger.Error(kTag, "can't open the job log file [%s] for job [%lld].", jobLogPath, jobId);
        returnData.end(1);
        throw std::string("Failed to open the job log file");
    }

    logselect::ExtractionTally tally;
    if (!logselect::extractJobLogs(jobLogFile, logDir, jobId, jobIds, fromTime, toTime,
                                   clientNameText, proxyFolder, searchText, tagId,
                                   isScrubLogsEnabled(), &scrubRules, &replacements, tally)) {
        logger.Error(kTag, "Cannot list the log directory [%s].", logDir);
        tally.unreadable.push_back(logDir);
    }

    bool rmanCopied = true;
    if (isScrubLogsEnabled()) {
        logger.Debug(kTag, "Scrub logs enabled. Skipping collecting RMAN logs.");
    } else {
        rmanCopied = getRmanLogByJobId(jobLogFile, jobId, clientName, options);
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

    const bool closed = host::io::close(jobLogFile);
    const int closeError = errno;
    jobLogFile = nullptr;
    if (!closed || tally.writeFailed) {
        // A job log cut short by a full disk is not sent as if it were whole.
        logger.Error(kTag, "Failed to write the job log file [%s] for job [%lld]: %s", jobLogPath,
                     jobId, closed ? "a write failed" : strerror(closeError));
        unlink_utf(jobLogPath);
        returnData.end(1);
        throw std::string("Failed to write the job log file");
    }
    if (tally.redactedLines > 0) {
        logger.Error(kTag,
                     "%zu line(s) of the job log were withheld: a scrub rule could not be "
                     "applied to them.",
                     tally.redactedLines);
    }
    const int sent = viewFileContents(jobLogPath, *socket, 0, network);
    if (unlink_utf(jobLogPath) != 0) {
        logger.Error(kTag, "Cannot Cleanup file [%s], error : %d", jobLogPath, errno);
    }
    if (sent != 0) throw std::string("Failed to send the job log file");
    if (!tally.unreadable.empty() || !rmanCopied) {
        // Sent, since what it holds is right, but the requester must learn that it is not
        // all there is.
        logger.Error(kTag,
                     "The job log of job [%lld] lacks what %zu file(s) hold: they could not be "
                     "read (first: [%s]).",
                     jobId, tally.unreadable.size() + (rmanCopied ? 0 : 1),
                     tally.unreadable.empty() ? "RMAN output" : tally.unreadable.front().c_str());
        returnData.end(1);
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
