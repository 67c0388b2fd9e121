// The driver of job-filtered collection over a log directory and a proxy client's folder.
#include "logselect/FilteredLogFiles.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "host/Log.h"
#include "host/Registry.h"
#include "logselect/FileSelection.h"
#include "logselect/JobFilter.h"
#include "logselect/LogLineGrammar.h"
#include "logselect/OrderedDump.h"
#include "logselect/SharedDecompressor.h"
#include "logselect/TimeWindow.h"

namespace {

constexpr unsigned kMaxExtractionThreads = 4;

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

// What is asked of every file of one extraction.
struct JobRequest {
    const std::string& dir;
    long long jobId;
    const std::vector<long long>& jobIds;
    time_t fromTime, toTime;
    const std::string& searchText;
    long long tagId;
    bool scrub;
    ScrubRuleList* scrubRules;
    ReplacementMap* replacements;
};

struct GroupedLog {
    std::string name;
    logselect::JobVariant variant;
    std::string machine;
};
// Rotated copies of one log in one folder, listed one after another: they share the workers
// list, and depend on no other file.
using LogGroup = std::vector<GroupedLog>;

std::vector<LogGroup> groupLogs(const std::string& dir, const std::vector<ListedLog>& listed,
                                const std::string& requested, const std::string& local) {
    std::vector<LogGroup> groups;
    std::string previousKey;
    for (const ListedLog& entry : listed) {
        std::string bare = entry.name.substr(entry.name.find_last_of('/') + 1);
        int type = FindLogType(bare.c_str());
        if (type == LOG_TYPE_NEVER_FILTERED) continue;
        if (IsFolder(dir + "/" + entry.name)) continue;

        // Rotated copies continue one another only within one folder.
        char base[kLogFileNameSize];
        GetBaseLogFileName(bare.c_str(), base);
        std::string key = entry.name.substr(0, entry.name.size() - bare.size()) + base;
        if (groups.empty() || strcasecmp(key.c_str(), previousKey.c_str()) != 0) {
            groups.emplace_back();
            previousKey = key;
        }
        sharedDecompressor();
        groups.back().push_back({entry.name,
                                 type == LOG_TYPE_SERVICE ? logselect::JobVariant::Service
                                                          : logselect::JobVariant::Other,
                                 entry.fromProxy ? requested : local});
    }
    return groups;
}

void extractGroup(FILE* out, const JobRequest& r, const LogGroup& group,
                  logselect::ExtractionTally& tally) {
    std::list<std::string> workers;
    for (const GroupedLog& log : group) {
        logselect::extractJobFile(log.variant, out, r.dir, log.name, workers, r.jobId, r.jobIds,
                                  log.machine.c_str(), r.tagId, r.searchText, r.fromTime,
                                  r.toTime, r.scrub, r.scrubRules, r.replacements, tally);
    }
}

void extractInOrder(FILE* out, const JobRequest& r, const std::vector<LogGroup>& groups,
                    logselect::ExtractionTally& tally) {
    try {
        for (const LogGroup& group : groups) extractGroup(out, r, group, tally);
    } catch (...) {
        EvDebug log;
        log.Error("getFilteredLogFiles", "Threw an exception");
        tally.unreadable.push_back(r.dir);
    }
}

void addTally(logselect::ExtractionTally& to, const logselect::ExtractionTally& from) {
    to.unreadable.insert(to.unreadable.end(), from.unreadable.begin(), from.unreadable.end());
    to.stopped.insert(to.stopped.end(), from.stopped.begin(), from.stopped.end());
    to.leftOut += from.leftOut;
    to.writeFailed = to.writeFailed || from.writeFailed;
    to.redactedLines += from.redactedLines;
}

// Groups on several threads, taken in listing order; the dump gets them in that order too.
void extractInParallel(FILE* out, const JobRequest& r, const std::vector<LogGroup>& groups,
                       unsigned threads, logselect::ExtractionTally& tally) {
    logselect::OrderedDump dump(out, groups.size());
    std::vector<logselect::ExtractionTally> tallies(groups.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < groups.size(); i = next++) {
            FILE* part = dump.open(i);
            try {
                if (part) {
                    extractGroup(part, r, groups[i], tallies[i]);
                } else {
                    tallies[i].writeFailed = true;
                }
            } catch (...) {
                EvDebug log;
                log.Error("getFilteredLogFiles", "Threw an exception");
                tallies[i].unreadable.push_back(r.dir);
            }
            dump.finish(i, part);
        }
    };
    std::vector<std::thread> pool;
    const size_t count = std::min<size_t>(threads, groups.size());
    for (size_t t = 1; t < count; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    for (const logselect::ExtractionTally& part : tallies) addTally(tally, part);
    if (dump.writeFailed()) {
        EvDebug log;
        log.Error("getFilteredLogFiles", "Failed to write into the dump: %s",
                  strerror(dump.writeError()));
        tally.writeFailed = true;
    }
}

unsigned defaultThreads() {
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::max(1u, std::min(hardware, kMaxExtractionThreads));
}

}  // namespace

namespace logselect {

bool extractJobLogs(FILE* out, const char* logDir, long long jobId,
                    const std::vector<long long>& jobIds, time_t fromTime, time_t toTime,
                    const char* machineName, const std::string& proxyFolder,
                    const std::string& searchText, long long tagId, bool scrub,
                    ScrubRuleList* scrubRules, ReplacementMap* replacements,
                    ExtractionTally& tally, unsigned threads) {
    std::string dir = logDir ? logDir : "";
    std::vector<ListedLog> listed;
    if (!listLogs(dir, "", false, fromTime, toTime, listed)) return false;
    if (!proxyFolder.empty())
        listLogs(dir + "/" + proxyFolder, proxyFolder + "/", true, fromTime, toTime, listed);

    const std::string requested = machineName ? machineName : "";
    const std::string local = proxyFolder.empty() ? requested : localMachineName(machineName);
    JobRequest request{dir,        jobId, jobIds, fromTime,   toTime,      searchText,
                       tagId,      scrub, scrubRules, replacements};
    std::vector<LogGroup> groups;
    try {
        groups = groupLogs(dir, listed, requested, local);
    } catch (...) {
        EvDebug log;
        log.Error("getFilteredLogFiles", "Threw an exception");
        tally.unreadable.push_back(dir);
        return true;
    }
    if (jobId <= 0 && tagId <= 0) return true;
    if (threads == 0) threads = defaultThreads();
    // Masked names are numbered in the order values are met: a scrubbed dump is made in order.
    if (scrub || threads < 2 || groups.size() < 2) {
        extractInOrder(out, request, groups, tally);
    } else {
        extractInParallel(out, request, groups, threads, tally);
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
