// Removal of staging leftovers.
#include "bundle/StagingCleanup.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "common/Appliance.h"
#include "host/File.h"
#include "host/Log.h"
#include "host/Registry.h"

namespace {

const unsigned long kDefaultRetentionDays = 7;
const unsigned long kSecondsPerDay = 86400;

unsigned long retentionDays() {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    unsigned long days = 0;
    if (!info.getNumber("EventManager", "nSendlogsOldBundlesCleanupInterval", days) || days == 0)
        days = kDefaultRetentionDays;
    return days;
}

std::vector<std::string> directoriesToSearch(const char* directory) {
    std::vector<std::string> dirs;
    if (directory != nullptr && directory[0] != '\0') dirs.push_back(directory);
    if (is_tessaro_ma()) {
        const std::string stage = common::applianceStageDirectory();
        if (!stage.empty()) dirs.push_back(stage);
        dirs.push_back(common::kApplianceStageDir);
    }
    return dirs;
}

bool isStagingName(const std::string& name) {
    return name.size() >= 9 && strncasecmp(name.c_str(), "support_", 8) == 0;
}

}  // namespace

void DeleteOldLogBundles(const char* directory) {
    const char* tag = "DeleteOldLogBundles";
    EvDebug log;
    unsigned long days = retentionDays();
    log.DebugLvl(tag, 3, "Sendlogs cleanup interval is set to %lu days", days);

    time_t now = time(nullptr);
    // A retention longer than the epoch's age keeps everything.
    unsigned long span = days > static_cast<unsigned long>(now) / kSecondsPerDay
                             ? static_cast<unsigned long>(now)
                             : days * kSecondsPerDay;
    time_t cutoff = now - static_cast<time_t>(span);

    for (const std::string& dir : directoriesToSearch(directory)) {
        CSimpleFolderTreeIterator it;
        if (it.Open(dir, nullptr).IsError()) continue;
        it.SetOption(0);
        CSimpleFolderTreeIterator::Item item;
        while (!it.GetNextItem(item).IsError()) {
            if (!item.isFolder || !isStagingName(item.name)) continue;
            std::string path = dir + "/" + item.name;
            struct stat st;
            // lstat: a link named like a staging directory is not ours to follow.
            if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                log.DebugLvl(tag, 6, "Cannot read the status of [%s]; leaving it alone",
                             path.c_str());
                continue;
            }
            if (st.st_mtime < cutoff) {
                CTeError err = CTeDirectory::Remove(path, true, false);
                if (err.IsError()) {
                    log.Error(tag, "Could not able to delete temporary directory [%s]. Error [%s]",
                              path.c_str(), err.AsString().c_str());
                } else {
                    log.DebugLvl(tag, 3, "Directory cleaned: [%s]", path.c_str());
                }
            } else {
                log.DebugLvl(tag, 6,
                             "Folder [%s] is modified in last %lu days, will not delete "
                             "it now.",
                             path.c_str(), days);
            }
        }
    }
}

ProxyCleanUp::~ProxyCleanUp() {
    const char* tag = "ProxyCleanUp::~ProxyCleanUp()";
    try {
        if (g_ptrLogWriter != nullptr && g_ptrLogWriter->GetLevel() >= 0) {
            g_ptrLogWriter->Write(0, tag, "ProxyCleanUp - required(%d) directory(%s)",
                                  required ? 1 : 0, directory.c_str());
        }
        if (!required) return;
        CTeError err = CTeDirectory::Remove(directory, true, false);
        if (err.IsError() && g_ptrLogWriter != nullptr) {
            g_ptrLogWriter->Write(-1, tag, "Cleanup failed for folder '%s'. %s", directory.c_str(),
                                  err.AsString().c_str());
        }
    } catch (...) {
        // A destructor reports, never throws.
    }
}
