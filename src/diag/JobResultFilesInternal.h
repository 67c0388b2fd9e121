// The RMAN and media library log step with the library log's path as a parameter, so that
// tests need not touch the fixed system path.
#pragma once

#include <cstdio>

bool appendRmanAndLibraryLog(FILE* out, long long jobId, const char* clientName,
                             unsigned long options, const char* libraryLog);
