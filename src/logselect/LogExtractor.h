// The library-wide archiver that decompresses compressed log copies for the extractors.
#pragma once

#include "host/archive.h"

// The one archiver of the process, created on first use (thread-safe). Never null: when the
// archiver reports an error at initialisation it is logged and the object is still used.
C7zip* logExtractor();
