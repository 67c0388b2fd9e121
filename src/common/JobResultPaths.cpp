// The job results layout of a client.
#include "common/JobResultPaths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "host/Jobs.h"
#include "host/Log.h"
#include "host/Registry.h"

namespace common {

bool formatPath(char* buffer, const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buffer, kPathSize, fmt, ap);
    va_end(ap);
    if (n < 0 || n >= kPathSize) {
        EvDebug log;
        log.Error(tag, "Path longer than %d characters refused: [%.200s...]", kPathSize - 1,
                  buffer);
        buffer[0] = '\0';
        return false;
    }
    return true;
}

std::string jobResultsDirectoryOf(const char* machine) {
    WYPI_CommClient comm;
    comm.setFocus(WYPI_Focus::getFocus());
    return comm.getJobResultsDirectory(machine ? machine : "");
}

}  // namespace common

int getJobResultFilePath(char* resultDir, char* baseDir, const char* clientName, long long jobId) {
    EvDebug log;
    const char* tag = "getJobResultFilePath";
    resultDir[0] = '\0';
    baseDir[0] = '\0';
    const std::string client = host::clientOrThisMachine(clientName);
    std::string root = common::jobResultsDirectoryOf(client.c_str());
    if (root.empty()) {
        log.Error(tag, "Failed to get the job results directory of [%s]", client.c_str());
        return -1;
    }
    bool ok = jobId == 0 ? common::formatPath(resultDir, tag, "%s/WY_JobResults", root.c_str())
                         : common::formatPath(resultDir, tag, "%s/WY_JobResults/%d/0/%lld",
                                              root.c_str(), 2, jobId);
    int result = 0;
    log.Debug(tag, "Job result dir path is : %s ", resultDir);
    struct stat st;
    if (!ok || stat(resultDir, &st) != 0) {
        log.Debug(tag, "Error while executing stat on, %s (%d)", resultDir, errno);
        result = -1;
    }
    if (common::formatPath(baseDir, tag, "%s/%d/", root.c_str(), 2) && stat(baseDir, &st) != 0) {
        log.Debug(tag, "Error while executing stat on, %s (%d)", baseDir, errno);
        baseDir[0] = '\0';
    }
    return result;
}
