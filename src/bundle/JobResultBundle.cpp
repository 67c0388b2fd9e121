// The job results of the main bundle.
#include <unistd.h>

#include <cstring>
#include <string>

#include "bundle/TarBundles.h"
#include "common/JobResultPaths.h"
#include "host/Log.h"
#include "host/Process.h"

namespace {

const char* const kLibraryLog = "/tmp/libwyobk.log";

void appendToBundle(const char* bundleFile, const char* path) {
    const std::string command =
        "tar -rvf " + host::shellQuote(bundleFile) + " " + host::shellQuote(path) + " ";
    WyProcess::system(command.c_str(), nullptr, nullptr, 0, false);
}

}  // namespace

bool bundleJobResultLogs(const char* bundleFile, const char* clientName, long long jobId) {
    if (bundleFile == nullptr || *bundleFile == '\0') {
        EvDebug().Error("bundleJobResultLogs", "bundle file name is empty");
        return true;
    }
    char resultDir[1024] = {0};
    char baseDir[1024] = {0};
    if (getJobResultFilePath(resultDir, baseDir, clientName, jobId) == 0) {
        appendToBundle(bundleFile, resultDir);
        if (baseDir[0] != '\0') appendToBundle(bundleFile, baseDir);
    }
    if (access(kLibraryLog, F_OK) == 0) appendToBundle(bundleFile, kLibraryLog);
    return true;
}
