#include "common/Appliance.h"

#include <algorithm>
#include <vector>

#include "host/Registry.h"

namespace {
const int kApplianceMediaAgentPackage = 1139;
}

bool is_tessaro_ma() {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    std::vector<int> ids;
    if (info.GetListOfInstalledPackages(ids) != 0) return false;
    return std::find(ids.begin(), ids.end(), kApplianceMediaAgentPackage) != ids.end();
}

namespace common {

std::string applianceStageDirectory() {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    char stage[1024] = {0};
    int size = sizeof stage;
    if (info.getString("Base", "sTSSendLogStageDir", stage, size) && stage[0] != '\0') return stage;
    return "";
}

}  // namespace common
