// Appending a proxy client's downloaded folder (its logs, or its job results) to a bundle.
#pragma once

#include <string>

#include "host/Export.h"

// Runs "cd <dir> && tar -rvf <bundle> ." so the folder's content lands in the bundle under
// relative names. False only when the command could not be run at all.
SL_API bool bundleProxyClientLogsAndJR(const char* bundleFile, std::string dir);
