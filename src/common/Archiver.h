// The one set-up of the host's 7z archiver, shared by every archive the library writes and
// every compressed log it reads.
#pragma once

#include <memory>

#include "host/Archive.h"
#include "host/Export.h"

// The archive compression level from the registry: 3, 5, 7 or 9, anything else 1.
SL_API unsigned int ReadCompressionLevel();

namespace common {

constexpr int kFormat7z = 2;

enum class ArchiverUse { Compress, Decompress };

// An archiver whose home is the focused instance's home folder, set to the registry's
// compression level (and, when given, full member paths), shared files included, and
// initialised. A failed initialisation is logged under tag; an archiver meant to compress
// is then not returned (null), one meant to decompress still is, since reading does not
// depend on the 7z writer.
std::unique_ptr<C7zip> makeArchiver(const char* tag, ArchiverUse use,
                                    const bool* fullPaths = nullptr);

}  // namespace common
