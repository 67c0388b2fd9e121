// The driver of job-filtered collection over a log directory and a proxy client's folder.
#include "logselect/FilteredLogFiles.h"

#include <strings.h>

#include "host/Log.h"
#include "host/Registry.h"
#include "logselect/FileSelection.h"
#include "logselect/JobFilter.h"
#include "logselect/LogLineGrammar.h"
#include "logselect/SharedDecompressor.h"
#include "logselect/TimeWindow.h"

namespace {

// One listed file. Names from the proxy folder carry that folder ("proxyClient/<hex>/name"),
// so every entry is read as logDir/name and the two sources never mix.
struct ListedLog {
    std::string name;
    bool fromProxy;
};

// This machine's host name for the banners of local files when a proxy client's files are
// in the same dump; the requested name when the registry has none.
std::string localMachineName(const char* requested) {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    const char* physical = info.getPhysicalMachine();
    std::string host = physical ? info.getClientHostName(physical) : std::string();
    if (!host.empty()) return host;
    if (physical && *physical) return physical;
    return requested ? requested : "";
}

bool listLogs(const std::string& dir, const std::string& prefix, bool fromProxy, time_t fromTime,
              time_t toTime, std::vector<ListedLog>& out) {
    std::vector<std::string> names;
    if (!getLogFilesList(dir.c_str(), names, nullptr, 1, fromTime, toTime, true, true, nullptr))
        return false;
    for (const std::string& name : names) out.push_back({prefix + name, fromProxy});
    return true;
}

}  // namespace

namespace logselect {

bool extractJobLogs(FILE* out, const char* logDir, long long jobId,
                    const std::vector<long long>& jobIds, time_t fromTime, time_t toTime,
                    const char* machineName, const std::string& proxyFolder,
                    const std::string& searchText, long long tagId, bool scrub,
                    ScrubRuleList* scrubRules, ReplacementMap* replacements,
                    ExtractionTally& tally) {
    EvDebug log;
    std::string dir = logDir ? logDir : "";
    std::vector<ListedLog> listed;
    if (!listLogs(dir, "", false, fromTime, toTime, listed)) return false;
    if (!proxyFolder.empty())
        listLogs(dir + "/" + proxyFolder, proxyFolder + "/", true, fromTime, toTime, listed);

    const std::string requested = machineName ? machineName : "";
    const std::string local = proxyFolder.empty() ? requested : localMachineName(machineName);
    std::list<std::string> workers;
    std::string previousKey;
    try {
        for (const ListedLog& entry : listed) {
            std::string bare = entry.name.substr(entry.name.find_last_of('/') + 1);
            int type = FindLogType(bare.c_str());
            if (type == LOG_TYPE_NEVER_FILTERED) continue;
            if (IsFolder(dir + "/" + entry.name)) continue;

            // Rotated copies continue one another only within one folder.
            char base[kLogFileNameSize];
            GetBaseLogFileName(bare.c_str(), base);
            std::string key = entry.name.substr(0, entry.name.size() - bare.size()) + base;
            if (strcasecmp(key.c_str(), previousKey.c_str()) != 0) {
                workers.clear();
                previousKey = key;
            }
            sharedDecompressor();
            if (jobId <= 0 && tagId <= 0) continue;
            const std::string& machine = entry.fromProxy ? requested : local;
            extractJobFile(type == LOG_TYPE_SERVICE ? JobVariant::Service : JobVariant::Other, out,
                           dir, entry.name, workers, jobId, jobIds, machine.c_str(), tagId,
                           searchText, fromTime, toTime, scrub, scrubRules, replacements, tally);
        }
    } catch (...) {
        log.Error("getFilteredLogFiles", "Threw an exception");
        tally.unreadable.push_back(dir);
    }
    return true;
}

bool getWindowFromLogDir(FILE* out, const std::string& logDir, time_t fromTime, time_t toTime,
                         const char* machineName, const std::string& searchText, bool scrub,
                         ScrubRuleList* scrubRules, ReplacementMap* replacements,
                         ExtractionTally& tally) {
    std::vector<ListedLog> logs;
    if (!listLogs(logDir, "", false, fromTime, toTime, logs)) return false;
    for (const ListedLog& entry : logs) {
        if (FindLogType(entry.name.c_str()) == LOG_TYPE_NEVER_FILTERED) continue;
        if (IsFolder(logDir + "/" + entry.name)) continue;
        extractWindowFile(out, logDir, entry.name, fromTime, toTime, machineName, searchText, scrub,
                          scrubRules, replacements, tally);
    }
    return true;
}

}  // namespace logselect

bool getFilteredLogFiles(FILE* out, const char* logDir, long long jobId,
                         std::vector<long long> jobIds, time_t fromTime, time_t toTime,
                         const char* machineName, const std::string& proxyFolder,
                         std::string searchText, long long tagId, std::list<std::string>* files,
                         bool scrub, ScrubRuleList* scrubRules, ReplacementMap* replacements) {
    logselect::ExtractionTally tally;
    return logselect::extractJobLogs(out, logDir, jobId, jobIds, fromTime, toTime, machineName,
                                     proxyFolder, searchText, tagId, scrub, scrubRules,
                                     replacements, tally) &&
           tally.complete();
}
