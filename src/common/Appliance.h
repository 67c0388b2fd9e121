// Whether this machine is an appliance media agent, and where such a machine stages.
#pragma once

#include <string>

#include "host/Export.h"

// This machine is an appliance media agent (installed package 1139).
SL_API bool is_tessaro_ma();

namespace common {
// The staging folder an appliance configures ("Base" / "sTSSendLogStageDir"), empty when
// none is set.
std::string applianceStageDirectory();
constexpr const char* kApplianceStageDir = "/ws/ddb";
}  // namespace common
