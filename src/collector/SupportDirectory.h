// The request's staging ("support") directory and temporary folders in the job results
// directory.
#pragma once

#include <ctime>
#include <string>

#include "host/export.h"

SL_API void createSupportDirectory(std::string& supportDir, std::string fallbackBase, long when);
// in: prefix; out: the created folder "<job results dir>/<prefix><seconds>".
SL_API bool getTempDirInJobResultsDir(std::string& name);
// This machine is an appliance media agent (installed package 1139).
SL_API bool is_tessaro_ma();
