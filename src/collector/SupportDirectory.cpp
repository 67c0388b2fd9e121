// The request's staging directory, temporary folders in the job results directory, and the
// appliance test.
#include "collector/SupportDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/file.h"
#include "host/jobs.h"
#include "host/log.h"
#include "host/registry.h"
#include "host/threadpool.h"

namespace {

const int kPathBuffer = 1024;
const int kApplianceMediaAgentPackage = 1139;
const char* const kApplianceStageDir = "/ws/ddb";

// The job results directory of this physical machine, or empty.
std::string jobResultsDirectory(EvEvent& log, const char* tag) {
    std::string machine;
    std::string dir = host::thisMachineJobResultsDirectory(machine);
    if (dir.empty())
        log.Error(tag, "Could not retrieve job results directory for client [%s]", machine.c_str());
    return dir;
}

}  // namespace

bool is_tessaro_ma() {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    std::vector<int> ids;
    if (info.GetListOfInstalledPackages(ids) != 0) return false;
    return std::find(ids.begin(), ids.end(), kApplianceMediaAgentPackage) != ids.end();
}

void createSupportDirectory(std::string& supportDir, std::string fallbackBase, long when) {
    const char* tag = "createSupportDirectory";
    EvEvent log;
    std::string base;
    if (is_tessaro_ma()) {
        WYPlatformInfo info;
        info.setFocus(WYPI_Focus::getFocus());
        char stage[kPathBuffer] = {0};
        int size = kPathBuffer;
        base = (info.getString("Base", "sTSSendLogStageDir", stage, size) && stage[0] != '\0')
                   ? stage
                   : kApplianceStageDir;
        log.Debug(tag, "Creating support dir at [%s] for Tessaro.", base.c_str());
    } else {
        base = jobResultsDirectory(log, tag);
        if (base.empty()) {
            if (fallbackBase.size() >= static_cast<size_t>(kPathBuffer)) {
                log.Error(tag, "Fallback staging base of %zu characters is too long",
                          fallbackBase.size());
            } else {
                base = fallbackBase;
            }
        }
    }
    if (base.empty()) {
        // An empty base would put the staging directory at the file system root.
        log.Error(tag, "Temporary directory is empty");
        return;
    }
    log.DebugLvl(tag, 6, "jobResultsDir is [%s]", base.c_str());

    char path[kPathBuffer];
    int n = snprintf(path, sizeof(path), "%s/Support_%d_%lu_%lu", base.c_str(),
                     static_cast<int>(getpid()), WyThread::getCurrentThreadID(),
                     static_cast<unsigned long>(when));
    if (n < 0 || n >= static_cast<int>(sizeof(path))) {
        log.Error(tag, "Support directory path under [%s] is longer than %d characters",
                  base.c_str(), kPathBuffer - 1);
        return;
    }
    CTeError err = CTeDirectory::Create(path, false);
    if (err.IsError()) {
        log.Error(tag, "Failed to create supportDir[%s].. Returning NULL", path);
        return;
    }
    // The staging directory gathers logs of the whole machine: keep it private.
    chmod(path, 0700);
    log.DebugLvl(tag, 6, "Created supportDir[%s]", path);
    supportDir = path;
}

bool getTempDirInJobResultsDir(std::string& name) {
    const char* tag = "bool getTempDirInJobResultsDir(std::string&)";
    EvEvent log;
    std::string dir = jobResultsDirectory(log, tag);
    if (dir.empty()) return false;

    unsigned now = static_cast<unsigned>(time(nullptr));
    char path[kPathBuffer];
    int n = name.empty()
                ? snprintf(path, sizeof(path), "%s%c%u", dir.c_str(), '/', now)
                : snprintf(path, sizeof(path), "%s%c%s%u", dir.c_str(), '/', name.c_str(), now);
    if (n < 0 || n >= static_cast<int>(sizeof(path))) {
        log.Error(tag, "Temporary directory path in [%s] is longer than %d characters", dir.c_str(),
                  kPathBuffer - 1);
        return false;
    }
    std::string candidate = path;
    name = candidate;
    log.Debug(tag, "Creating temporary Directory in job results dir:[%s]", candidate.c_str());
    // Requests served at the same second with the same prefix would collide on one name;
    // such a request takes the next free "_<n>" variant instead of failing.
    for (int attempt = 1; attempt <= 100; ++attempt) {
        if (mkdir(candidate.c_str(), 0700) == 0) {
            name = candidate;
            return true;
        }
        if (errno != EEXIST) break;
        candidate = std::string(path) + "_" + std::to_string(attempt);
        if (candidate.size() >= static_cast<size_t>(kPathBuffer)) break;
    }
    log.Error(tag, "Error creating directory:[%s] Error:[%s]", candidate.c_str(), strerror(errno));
    return false;
}
