// The library-wide archiver that decompresses compressed log copies for the extractors.
#pragma once

#include <string>

#include "host/archive.h"
#include "host/error.h"

// The one archiver of the process, created on first use (thread-safe). Never null: when the
// archiver reports an error at initialisation it is logged and the object is still used.
C7zip* logExtractor();

// DeCompressLogFile with the library-wide archiver, one call at a time: path holds
// logDir/fileName on entry and the decompressed copy's path on success.
CTeError decompressWithLogExtractor(const std::string& logDir, const std::string& fileName,
                                    std::string& path);
