// Job result files: the job results layout, the RMAN output and media-library log appended
// to a job log file, and the result file of a file-level replication pair.
#pragma once

#include <cstdio>

#include "common/JobResultPaths.h"
#include "host/Export.h"

// Appends the job's RMAN output ("backup.out" / "restore.out", chosen by the options word) and
// the media library log to out. False when one of them exists and copying it failed.
SL_API bool getRmanLogByJobId(FILE* out, long long jobId, const char* clientName,
                              unsigned long options);
// Appends the whole file at path to out after a dump banner naming machineName and label.
// True when the whole file was read and written (out flushed).
bool dumpFileToLogFile(FILE* out, const char* path, const char* machineName, const char* label);
// Prepares the result file of a replication pair; outPath (1024 bytes) gets its path, or
// stays empty when the file type has none.
SL_API bool getFLRResult(char* outPath, unsigned int unused, unsigned int pairId,
                         unsigned int fileType, const char* unusedText, long long jobId);

namespace diag {
// The RMAN and media library log step with the library log's path as a parameter, so that
// tests need not touch the fixed system path.
bool appendRmanAndLibraryLog(FILE* out, long long jobId, const char* clientName,
                             unsigned long options, const char* libraryLog);
}  // namespace diag
