// Logging of the current system error number.
#pragma once

#include "host/Export.h"

// Logs the current errno under prefix; errno is left as it was.
SL_API void printErrorMsg(const char* prefix);
