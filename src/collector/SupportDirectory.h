// The request's staging ("support") directory.
#pragma once

#include <ctime>
#include <string>

#include "host/Export.h"

SL_API void createSupportDirectory(std::string& supportDir, std::string fallbackBase, long when);
