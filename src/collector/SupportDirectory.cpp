// The request's staging directory.
#include "collector/SupportDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/Appliance.h"
#include "common/TempFolders.h"
#include "host/File.h"
#include "host/Jobs.h"
#include "host/Log.h"
#include "host/Registry.h"
#include "host/ThreadPool.h"

namespace {

const int kPathBuffer = 1024;

}  // namespace

void createSupportDirectory(std::string& supportDir, std::string fallbackBase, long when) {
    const char* tag = "createSupportDirectory";
    EvEvent log;
    std::string base;
    if (is_tessaro_ma()) {
        base = common::applianceStageDirectory();
        if (base.empty()) base = common::kApplianceStageDir;
        log.Debug(tag, "Creating support dir at [%s] for Tessaro.", base.c_str());
    } else {
        base = common::thisMachineJobResultsDir(tag);
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
