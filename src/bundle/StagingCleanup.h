// Removal of staging leftovers: old staging directories and the proxy download folder.
#pragma once

#include <string>

#include "host/Export.h"

// Prunes "Support_*" folders older than the retention (days, registry) in directory and, on
// an appliance media agent, in its staging folders.
SL_API void DeleteOldLogBundles(const char* directory);

// Removes the proxy download folder when the collector that holds it is destroyed.
struct ProxyCleanUp {
    bool required = false;
    std::string directory;
    ProxyCleanUp() = default;
    ~ProxyCleanUp();
    ProxyCleanUp(const ProxyCleanUp&) = delete;
    ProxyCleanUp& operator=(const ProxyCleanUp&) = delete;
};
