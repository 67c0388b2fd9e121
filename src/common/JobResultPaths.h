// Where a client's job results live: shared by the job result files of the diagnostics and
// by the bundle that packs them.
#pragma once

#include <string>

#include "host/Export.h"

// resultDir and baseDir are the caller's 1024-byte buffers. resultDir gets the job's result
// directory (jobId 0: the whole "WY_JobResults" directory), baseDir the base directory (empty
// when it does not exist). 0 when resultDir exists, -1 otherwise.
SL_API int getJobResultFilePath(char* resultDir, char* baseDir, const char* clientName,
                                long long jobId);

namespace common {

// The job results directory of a client (empty: this machine), as the focused instance
// knows it; empty when unknown.
std::string jobResultsDirectoryOf(const char* machine);
// snprintf into a kPathSize-byte buffer; a text that does not fit is refused with a log line
// under tag and leaves the buffer empty.
constexpr int kPathSize = 1024;
bool formatPath(char* buffer, const char* tag, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace common
