// The library-wide archiver that decompresses compressed log copies for the extractors.
#pragma once

#include <string>

#include "host/Archive.h"
#include "host/Error.h"

// The one decompressing archiver of the process, created on first use (thread-safe). Never
// null: a failed initialisation is logged and the object is still used.
C7zip* sharedDecompressor();

// DeCompressLogFile with the shared archiver, one call at a time: path holds logDir/fileName
// on entry and the decompressed copy's path on success.
CTeError decompressWithSharedArchiver(const std::string& logDir, const std::string& fileName,
                                      std::string& path);
