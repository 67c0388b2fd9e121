// Job-filtered and time-window collection of a whole log directory (and a proxy client's
// downloaded folder) into one dump file.
#pragma once

#include <cstdio>
#include <ctime>
#include <list>
#include <string>
#include <vector>

#include "host/Export.h"
#include "logselect/ExtractionTally.h"
#include "scrub/ScrubRule.h"

// Lists logDir (and logDir/proxyFolder when proxyFolder is not empty), and hands every log
// file of a filtered type to the service-log or other-log job filter, writing the selected
// lines into out. Nothing is extracted unless jobId > 0 or tagId > 0. The list pointer is not
// read. False when logDir cannot be listed, a selected file could not be read whole (its
// lines are missing), or out could not be written.
SL_API bool getFilteredLogFiles(FILE* out, const char* logDir, long long jobId,
                                std::vector<long long> jobIds, time_t fromTime, time_t toTime,
                                const char* machineName, const std::string& proxyFolder,
                                std::string searchText, long long tagId,
                                std::list<std::string>* files, bool scrub,
                                ScrubRuleList* scrubRules, ReplacementMap* replacements);

namespace logselect {

// getFilteredLogFiles with what happened added to tally; false only when logDir cannot be
// listed. The rotated copies of one log depend on one another (they share the workers list),
// different logs do not: without scrubbing, different logs are read on up to threads threads
// (0: one per core, at most four), and the dump is the same as when one thread reads them all.
bool extractJobLogs(FILE* out, const char* logDir, long long jobId,
                    const std::vector<long long>& jobIds, time_t fromTime, time_t toTime,
                    const char* machineName, const std::string& proxyFolder,
                    const std::string& searchText, long long tagId, bool scrub,
                    ScrubRuleList* scrubRules, ReplacementMap* replacements,
                    ExtractionTally& tally, unsigned threads = 0);

// The lines of the time window from every log of a filtered type in logDir, each file
// through the time-window reader. False when logDir cannot be listed.
bool getWindowFromLogDir(FILE* out, const std::string& logDir, time_t fromTime, time_t toTime,
                         const char* machineName, const std::string& searchText, bool scrub,
                         ScrubRuleList* scrubRules, ReplacementMap* replacements,
                         ExtractionTally& tally);

}  // namespace logselect
