// Compression of the final bundle and of single files.
#pragma once

#include <string>

#include "host/Export.h"

// Compresses the tar file named in path (a 1024-byte buffer) into a gzip file beside it: the
// name with its extension replaced by ".gz" (logFiles_7.tar becomes logFiles_7.gz). On
// success the tar file is deleted and path holds the compressed file's name; on failure
// nothing is left but the tar file.
SL_API bool compressTarFile(char* path);

// Runs "gzip --fast" on source (which it replaces by source.gz); target (may be null, else
// at least 1024 bytes) receives "<source>.gz". False, with a log line, on failure.
SL_API bool compressFile(const char* source, char* target);

namespace bundle {

// The compressed name of a bundle: its extension (a "." after the last "/") replaced by
// ".gz", or ".gz" appended when it has none or when that would name the bundle itself.
std::string compressedName(const std::string& path);

}  // namespace bundle
