// The storage node step: the node's own log archive, uploaded to the cloud drop point or,
// when that fails, added to the bundle.
#include <ctime>

#include "collector/StepSupport.h"
#include "collector/infoNLogsCollector.h"
#include "delivery/Upload.h"
#include "diag/StorageNode.h"
#include "host/File.h"
#include "host/Process.h"

namespace {

const char* const kTag = "void infoNLogsCollector::collectKolvraLogs()";

// "kolvra_<machine>_<year>_<month>_<day>_<hour>_<minute>_<second>.tar.gz", local time.
std::string archiveName(WYPlatformInfo& info) {
    const char* machine = info.getPhysicalMachine();
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char name[1024];
    snprintf(name, sizeof name, "kolvra_%s_%02d_%02d_%02d_%02d_%02d_%02d.tar.gz",
             machine ? machine : "LogCollection", local.tm_year + 1900, local.tm_mon + 1,
             local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

}  // namespace

void infoNLogsCollector::collectKolvraLogs() {
    if (internetOptions == nullptr || !isKolvraNode() || !(isJobResultsSet() || isOrvionLogsSet()))
        return;
    const std::string owner = getOwnerName(diag::kKolvraDeployTool);
    const std::string produced = owner.empty() ? "" : runKolvraCollectionScript(owner);
    if (produced.empty()) {
        logger.Error(kTag, "Failed to collect kolvra log");
        return;
    }
    const std::string home = "/home/" + owner + "/";
    const std::string name = archiveName(platformInfo);
    const std::string moved = home + name;
    const std::string move = "mv " + host::shellQuote(produced) + " " + host::shellQuote(moved);
    logger.Debug(kTag, "Call command:%s", move.c_str());
    WyProcess::system(move.c_str(), nullptr, nullptr, 0, false);
    if (!FXFile::DoesFileExist(moved)) {
        logger.Error(kTag, "Failed to collect kolvra log, because %s doesn't exist.", name.c_str());
        return;
    }
    if (uploadToCloud(internetOptions, home, name) == 0) {
        logger.Debug(kTag, "Succeeded to upload kolvra log to cloud");
    } else {
        logger.Error(kTag,
                     "Failed to upload kolvra log to cloud, so add kolvra log into HM "
                     "collection");
        if (collector::haveBundle(bundleFile, kTag))
            collector::runTar("cd " + host::shellQuote(strSupportDir) + ";tar -rvf " +
                                  host::shellQuote(bundleFile) + " -C " + host::shellQuote(home) +
                                  " " + host::shellQuote("./" + name),
                              kTag);
    }
    FXFile::RemoveFile(moved);
}
