// "JobResults.7z": the client's job results directory, or one job's folder of it, without
// staging leftovers and the web search cache.
#include <cstdio>
#include <cstring>

#include "bundle/Archive7z.h"
#include "host/Jobs.h"
#include "host/Log.h"
#include "host/Registry.h"

namespace {

const char* const kTag = "getJobResultsDirectory";

// Splits a directory into its parent prefix and its last component, the name the archiver
// gives the folder (trailing separators are not part of it). A job folder ".../0/7" ends in
// the one-character component "7", which must be the component, or the exclusions would
// name "0/7" and never match.
void splitLastComponent(std::string dir, std::string& parent, std::string& last) {
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    const size_t slash = dir.find_last_of("/\\");
    const size_t cut = slash == std::string::npos ? 0 : slash + 1;
    parent = dir.substr(0, cut);
    last = dir.substr(cut);
}

void addExclusions(C7zip& archiver, const std::string& dir) {
    EvDebug log;
    std::string parent, last;
    splitLastComponent(dir, parent, last);
    const std::string prefix = last + "/";
    archiver.AddExcludeList(prefix + "support_*", false, true);
    archiver.AddExcludeList(prefix + "sendLogFiles_*", false, true);

    WYPlatformInfo registry;
    registry.setFocus(WYPI_Focus::getFocus());
    std::string cache;
    if (!registry.getString("DM2WebSearchServer", "sZCACHEDATAFILESPATH", cache)) {
        log.DebugLvl(kTag, 6,
                     "Could not get dm2cachedir  WYPI_DM2_WEB_SEARCH_SERVER_CACHE_PATH. DM2 cache "
                     "might not present.");
        return;
    }
    if (!cache.empty() && cache.compare(0, dir.size(), dir) == 0) {
        log.DebugLvl(kTag, 6, "Skipping dm2cachedir  [%s].", cache.c_str());
        archiver.AddExcludeList(cache.substr(parent.size()), false, true);
    }
}

}  // namespace

bool getJobResultsDirectory(const char* destination, std::vector<std::string>& archives,
                            long long jobId) {
    EvDebug log;
    std::string machine;
    const std::string jobResultsDir = host::thisMachineJobResultsDirectory(machine);
    if (jobResultsDir.empty()) {
        log.Debug(kTag, "Could not retrieve job results directory for client [%s]",
                  machine.c_str());
        return false;
    }
    const char* jobResults = jobResultsDir.c_str();
    if (!destination) {
        log.Error(kTag, "No destination directory given.");
        return false;
    }
    const std::string archivePath = bundle::joinWithin(destination, "JobResults.7z", kTag);
    if (archivePath.empty()) return false;

    std::string dir = jobResults;
    if (jobId != 0) {
        char jobDir[bundle::kPathBuffer];
        const int n =
            snprintf(jobDir, sizeof jobDir, "%s/WY_JobResults/%d/0/%lld", jobResults, 2, jobId);
        if (n < 0 || n >= bundle::kPathBuffer) {
            log.Error(kTag, "Job results path of job %lld is longer than %d bytes", jobId,
                      bundle::kPathBuffer - 1);
            return false;
        }
        dir = jobDir;
    }

    std::unique_ptr<C7zip> archiver = common::makeArchiver(kTag, common::ArchiverUse::Compress);
    if (archiver) {
        addExclusions(*archiver, dir);
        bundle::addAndReport(*archiver, archivePath, {dir}, kTag, dir);
    }
    archives.push_back(archivePath);
    return true;
}
