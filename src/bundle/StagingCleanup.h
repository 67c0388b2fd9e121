// Removal of staging leftovers: old staging directories, temporary decompressed copies and
// the proxy download folder.
#pragma once

#include <string>

#include "host/error.h"
#include "host/export.h"

// Prunes "Support_*" folders older than the retention (days, registry) in directory and, on
// an appliance media agent, in its staging folders.
SL_API void DeleteOldLogBundles(const char* directory);
// Deletes a temporary file, then its folder when that is left empty. Always success.
SL_API CTeError CleanUpTempData(std::string& path);

// Removes the proxy download folder when the collector that holds it is destroyed.
struct ProxyCleanUp {
    bool required = false;
    std::string directory;
    ProxyCleanUp() = default;
    ~ProxyCleanUp();
    ProxyCleanUp(const ProxyCleanUp&) = delete;
    ProxyCleanUp& operator=(const ProxyCleanUp&) = delete;
};
