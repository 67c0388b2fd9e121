// The archiver set-up shared by the 7z operations, and the general archive of a list.
#include "bundle/Archive7z.h"

#include <cstdio>

#include "host/log.h"
#include "host/registry.h"

namespace bundle {

bool setUpArchiver(C7zip& archiver, const char* tag, const bool* fullPaths) {
    archiver.SetCompressionLevel(ReadCompressionLevel());
    if (fullPaths) archiver.SetUseFullFilePath(*fullPaths);
    CTeError err = archiver.Initialize();
    archiver.SetCompressSharedFiles(true);
    if (err.GetErrorCode() > 1) {
        EvDebug log;
        log.Error(tag, "Failed to initialize 7z archiver. Error Message:[%s]",
                  err.AsString().c_str());
        return false;
    }
    return true;
}

bool addAndReport(C7zip& archiver, const std::string& archivePath,
                  const std::vector<std::string>& items, const char* tag, const std::string& what) {
    std::map<std::wstring, std::wstring> failures;
    CTeError err = archiver.AddFilesToArchive(archivePath, items, failures);
    if (!err.IsError()) return true;
    EvDebug log;
    for (const auto& failure : failures) {
        log.DebugLvl(tag, 6, "Failed to add file %ls to archive. Error Message:[%ls]",
                     failure.first.c_str(), failure.second.c_str());
    }
    if (err.GetErrorCode() <= 1) return true;
    log.Error(tag, "Failed to compress the log file %s. Error Message:[%s]", what.c_str(),
              err.AsString().c_str());
    return false;
}

std::string joinWithin(const std::string& dir, const char* name, const char* tag) {
    char path[kPathBuffer];
    const int n = snprintf(path, sizeof path, "%s%s%s", dir.c_str(), "/", name);
    if (n < 0 || n >= kPathBuffer) {
        EvDebug log;
        log.Error(tag, "Path [%s/%s] is longer than %d bytes", dir.c_str(), name, kPathBuffer - 1);
        return "";
    }
    return path;
}

}  // namespace bundle

unsigned int ReadCompressionLevel() {
    WYPlatformInfo registry;
    registry.setFocus(WYPI_Focus::getFocus());
    long level = 0;
    if (!registry.getNumber("EventManager", "nLogCompLevel", level)) return 1;
    return (level == 3 || level == 5 || level == 7 || level == 9) ? static_cast<unsigned>(level)
                                                                  : 1;
}

bool createArchive(char* archivePath, std::vector<std::string>& items, int volumeSize,
                   bool fullPaths) {
    const char* tag = "createArchive";
    if (!archivePath || !*archivePath) {
        EvDebug log;
        log.Error(tag, "No archive path given.");
        return false;
    }
    WYPI_Base base;
    base.setFocus(WYPI_Focus::getFocus());
    const char* home = base.getHomeDirectory();
    C7zip archiver(home ? home : "", bundle::kFormat7z);
    if (!bundle::setUpArchiver(archiver, tag, &fullPaths)) return false;
    if (volumeSize > 0) archiver.SetVolumeSize(static_cast<unsigned long>(volumeSize), 2);
    if (volumeSize < 0) {
        EvDebug log;
        log.Error(tag, "Ignoring the negative volume size %d; writing one volume.", volumeSize);
    }
    return bundle::addAndReport(archiver, archivePath, items, tag, archivePath);
}
