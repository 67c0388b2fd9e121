// The hand-off: the diagnostics tool's bundle joins the main bundle, which is compressed,
// named to the requester, streamed and deleted.
#include <cerrno>
#include <cstring>

#include "bundle/Compression.h"
#include "collector/infoNLogsCollector.h"
#include "diag/DiagnosticsTools.h"
#include "host/File.h"
#include "host/Process.h"

namespace {
const char* const kTag = "bundleAllLogs";
}

void infoNLogsCollector::addDiagnosticsBundle() {
    unsigned long disabled = 0;
    if (isProxyClient) return;
    if (platformInfo.getNumber("EventManager", "disableWyDiagnostics", disabled) && disabled != 0) {
        logger.DebugLvl(kTag, 3, "%s/%s is set. Ignoring WyDiagnostics collection ", "EventManager",
                        "disableWyDiagnostics");
        return;
    }
    std::string diagnostics;
    CTeError error =
        runWyDiagnostics(strSupportDir.c_str(), diagnostics, scrubPatternsFilePath, clientId);
    if (error.IsError()) {
        logger.Error(kTag, "Executing WyDiagnostics failed.TeError is %s",
                     error.AsString().c_str());
        return;
    }
    if (diagnostics.empty()) {
        logger.Debug(kTag, "Couldn't retrieve WyDiagnostics bundle");
        return;
    }
    // The whole staging directory goes in, the diagnostics bundle with it (tar leaves out the
    // bundle itself).
    const std::string command = "tar -rvf " + host::shellQuote(bundleFile) + " -C " +
                                host::shellQuote(strSupportDir) + " .";
    logger.Debug(kTag, "Adding WyDiagnostics bundle [%s] to [%s].", diagnostics.c_str(),
                 bundleFile.c_str());
    std::string errors;
    const int status = WyProcess::system(command.c_str(), nullptr, &errors, 0, false);
    if (status == 0) {
        logger.DebugLvl(kTag, 3, "WyDiagnostics bundle successfully added to SendLogFiles bundle");
    } else {
        const std::string firstLine = errors.substr(0, errors.find('\n'));
        logger.Error(kTag,
                     "Adding WyDiagnostics bundle to SendLogFiles bundle failed. Error:[tar "
                     "status %d: %s]",
                     status, firstLine.c_str());
    }
}

void infoNLogsCollector::bundleAllLogs() {
    FILE* probe = bundleFile.empty() ? nullptr : fopen_utf(bundleFile.c_str(), "r+");
    if (probe == nullptr) return;
    fclose(probe);

    composeReplyName(clientNameText, "_logs.tar.gz", replyBuffer, sizeof(replyBuffer));
    logger.Debug(kTag, "logfile name : %s", replyBuffer);
    addDiagnosticsBundle();

    char path[1024];
    if (bundleFile.size() >= sizeof(path)) {  // named in a buffer of this size: never happens
        logger.Error(kTag, "Bundle path of %zu characters is too long", bundleFile.size());
        return;
    }
    memcpy(path, bundleFile.c_str(), bundleFile.size() + 1);
    if (!compressTarFile(path)) {
        composeReplyName(clientNameText, "_logs.tar", replyBuffer, sizeof(replyBuffer));
        logger.Debug(kTag, "logfile name : %s", replyBuffer);
    }
    bundleFile = path;

    returnData.begin(REPLY_BUNDLE_NAME_CODE, 0, *socket, true);
    returnData.add(REPLY_BUNDLE_NAME_TAG, replyBuffer, strlen(replyBuffer));
    returnData.end(0);
    viewFileContents(bundleFile.c_str(), *socket, 0, network);
    if (unlink_utf(bundleFile.c_str()) != 0)
        logger.Error(kTag, "Cannot Cleanup file [%s], error : %d", bundleFile.c_str(), errno);
}
