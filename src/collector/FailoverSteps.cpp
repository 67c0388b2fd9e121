// The failover step: on the passive node of a failover pair, the other instance's logs in a
// 7z archive added to the bundle.
#include <cstdint>
#include <cstring>

#include "bundle/ScrubbedArchive.h"
#include "collector/StepSupport.h"
#include "collector/infoNLogsCollector.h"
#include "common/FileSets.h"
#include "diag/ShellScript.h"
#include "host/File.h"
#include "host/Process.h"
#include "host/Registry.h"

namespace {

// "SOFTWARE\Kestrav Systems/Orvion/<instance>/<key>"
std::string pairKey(const char* instance, const char* key) {
    return FXPath::Append(
        FXPath::Append(FXPath::Append("SOFTWARE\\Kestrav Systems", "Orvion", 0), instance, 0), key,
        0);
}

}  // namespace

bool isInstance002OnPassiveNode() {
    WYPlatformInfo info;
    int type = 0;
    int32_t active = 1;
    int size = sizeof active;
    return info.getRegValue(pairKey("Instance002", "Base"), "bIsHMInstanceActive", type,
                            reinterpret_cast<char*>(&active), size) == 1 &&
           type == 4 && size == static_cast<int>(sizeof active) && active == 0;
}

std::string getLogPathOnOtherInstance() {
    WYPlatformInfo info;
    int type = 0;
    char dir[1024] = {0};
    int size = sizeof dir;
    if (info.getRegValue(pairKey("Instance001", "EventManager"), "dEVLOGDIR", type, dir, size) !=
            1 ||
        type != 1)
        return "";
    return std::string(dir, strnlen(dir, sizeof dir));
}

void infoNLogsCollector::collectFailOverLogs() {
    const char* tag = "collectFailOverLogs";
    if (!isInstance002OnPassiveNode()) return;
    logger.Debug(tag, "Start to collect Failover logs");
    const std::string otherLogs = getLogPathOnOtherInstance();
    if (otherLogs.empty()) return;
    logger.Debug(tag, "Start to collect logs on other instance: [%s]", otherLogs.c_str());
    if (!collector::haveBundle(bundleFile, tag)) return;

    std::vector<std::string> names;
    getFilesList(names, otherLogs.c_str(), nullptr, false, 0, 0, true, true, nullptr, false);
    if (names.empty()) return;
    for (std::string& name : names) name = otherLogs + "/" + name;

    char archive[1024];
    snprintf(archive, sizeof archive, "%s/FailOver_%lld.7z", strSupportDir.c_str(),
             static_cast<long long>(startTime));
    if (archiveFileList(archive, nullptr, names, isScrubLogsEnabled(), &scrubRules, &replacements,
                        "otherInstance"))
        collector::runTar(std::string("tar ") + diag::tarCreateOrAppend(bundleFile) + "vf " +
                              host::shellQuote(bundleFile) + " " + host::shellQuote(archive),
                          tag);
}
