// Adding to a 7z archive with its failures reported, and the general archive of a list.
#include "bundle/Archive7z.h"

#include <cstdio>

#include "host/Log.h"

namespace bundle {

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

bool createArchive(char* archivePath, std::vector<std::string>& items, int volumeSize,
                   bool fullPaths) {
    const char* tag = "createArchive";
    if (!archivePath || !*archivePath) {
        EvDebug log;
        log.Error(tag, "No archive path given.");
        return false;
    }
    std::unique_ptr<C7zip> archiver =
        common::makeArchiver(tag, common::ArchiverUse::Compress, &fullPaths);
    if (!archiver) return false;
    if (volumeSize > 0) archiver->SetVolumeSize(static_cast<unsigned long>(volumeSize), 2);
    if (volumeSize < 0) {
        EvDebug log;
        log.Error(tag, "Ignoring the negative volume size %d; writing one volume.", volumeSize);
    }
    return bundle::addAndReport(*archiver, archivePath, items, tag, archivePath);
}
