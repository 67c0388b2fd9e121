// The product log line grammar: field cutting of entry lines, log file types by name, base
// names of rotated copies, and the banner that introduces each source file in a dump file.
// Free functions without state; they never allocate and never write past a given size.
#pragma once

#include <cstdio>

#include "common/ErrorMessage.h"
#include "host/Export.h"

// Field buffers of the readers hold 100 bytes (99 characters and the NUL).
constexpr int kLogFieldSize = 100;
// Readers read lines in pieces of at most 16383 characters (a 16384-byte buffer).
constexpr int kLogLineBufferSize = 16384;
// File names (and base names) fit in 256 bytes.
constexpr int kLogFileNameSize = 256;
// Paths and their parts fit in 1024 bytes.
constexpr int kLogPathSize = 1024;

// Log types by file name.
enum : int { LOG_TYPE_NEVER_FILTERED = 0, LOG_TYPE_SERVICE = 1, LOG_TYPE_OTHER = 2 };

// Cuts an entry line into blank-separated fields: 1 process id, 2 thread id, 3 date, 4 time,
// 5 job field, 8 tag field. An output with size 0 is not touched. True when the line reaches
// its eighth field.
SL_API bool ParseLogLine(char* line, char* processId, int processIdSize, char* threadId,
                         int threadIdSize, char* date, int dateSize, char* time, int timeSize,
                         char* jobField, int jobFieldSize, char* tagField, int tagFieldSize);
// Copies source up to its first blank (at most size - 1 characters); returns the count.
SL_API int GetIdStr(const char* source, char* destination, int size);
// Copies the 1 to 99 characters before the first blank of source; otherwise destination
// (100 bytes) becomes empty.
SL_API void getIdStr(const char* source, char* destination);
// Copies fields 1, 2 (when their buffers are given) and 5 of line; true when the line has a
// fifth field. Each buffer holds 100 bytes.
SL_API bool getJobInfo(const char* line, char* jobId, char* processId, char* threadId);
// Pointer to the first character of the n-th field of text (fields separated by runs of
// separator); null when there is none.
SL_API const char* GetToken(const char* text, int n, char separator);
// LOG_TYPE_* of a bare file name.
SL_API int FindLogType(const char* fileName);
// Base name of a rotated log (wyd_3.log -> wyd) into baseName (256 bytes).
SL_API void GetBaseLogFileName(const char* fileName, char* baseName);
// Splits path at its last "/" into directory and fileName (each, when given, a 1024-byte
// buffer); false (nothing written) when there is no "/" or a part does not fit.
SL_API bool splitFilePath(const char* path, char* directory, char* fileName);
// Writes the dump banner for filePath (only its name after the last "/" is shown). False
// when it could not be written.
SL_API bool PrintHeader(FILE* out, const char* machineName, const char* filePath);
