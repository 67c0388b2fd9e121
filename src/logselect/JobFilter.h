// Extraction of the lines of requested jobs (or a tag) from one product log file into a dump
// file: the service-log variant keeps the lines a job's thread writes without a job id, the
// other-log variant attributes by process.
#pragma once

#include <cstdio>
#include <ctime>
#include <list>
#include <string>
#include <vector>

#include "host/Export.h"
#include "logselect/ExtractionTally.h"
#include "scrub/ScrubRule.h"

// workers carries thread ids (service logs) or process ids (other logs) across the rotated
// copies of one log. Both return false when the file could not be decompressed, opened or
// read to its end, or its lines could not be written. A file that is not regular, or a link
// leading out of logDir, is left out with a log line (true).
SL_API bool getServiceLogsByJobId(FILE* out, std::string logDir, std::string fileName,
                                  std::list<std::string>& workers, long long jobId,
                                  std::vector<long long> jobIds, const char* machineName,
                                  long long tagId, std::string searchText, time_t fromTime,
                                  time_t toTime, bool scrub, ScrubRuleList* scrubRules,
                                  ReplacementMap* replacements);
SL_API bool getNonServiceLogsByJobId(FILE* out, std::string logDir, std::string fileName,
                                     std::list<std::string>& workers, long long jobId,
                                     std::vector<long long> jobIds, const char* machineName,
                                     long long tagId, std::string searchText, time_t fromTime,
                                     time_t toTime, bool scrub, ScrubRuleList* scrubRules,
                                     ReplacementMap* replacements);
// The other-log line filter on an open file, reading [startOffset, endOffset) (0: from the
// beginning, to the end). Always true.
SL_API bool DumpJobInfo(FILE* out, FILE* in, unsigned long jobId, std::vector<long long> jobIds,
                        std::list<std::string>& workers, const char* fileName,
                        const char* machineName, long long tagId, std::string searchText,
                        long long startOffset, long long endOffset, bool scrub,
                        ScrubRuleList* scrubRules, ReplacementMap* replacements);

namespace logselect {

enum class JobVariant { Service, Other };

// One file through the job filter of its variant, with what happened added to tally. False
// when the file could not be decompressed, opened or read to its end.
bool extractJobFile(JobVariant variant, FILE* out, const std::string& logDir,
                    const std::string& fileName, std::list<std::string>& workers, long long jobId,
                    const std::vector<long long>& jobIds, const char* machineName, long long tagId,
                    const std::string& searchText, time_t fromTime, time_t toTime, bool scrub,
                    ScrubRuleList* scrubRules, ReplacementMap* replacements,
                    ExtractionTally& tally);

}  // namespace logselect
