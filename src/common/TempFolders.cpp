#include "common/TempFolders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "host/File.h"
#include "host/Jobs.h"
#include "host/Log.h"

namespace common {

std::string thisMachineJobResultsDir(const char* tag) {
    std::string machine;
    std::string dir = host::thisMachineJobResultsDirectory(machine);
    if (dir.empty()) {
        EvEvent log;
        log.Error(tag, "Could not retrieve job results directory for client [%s]", machine.c_str());
    }
    return dir;
}

std::string timeNamedPath(const std::string& base, const std::string& prefix) {
    char path[kPathBuffer];
    const int n = snprintf(path, sizeof path, "%s%c%s%u", base.c_str(), '/', prefix.c_str(),
                           static_cast<unsigned>(time(nullptr)));
    return n < 0 || n >= kPathBuffer ? std::string() : std::string(path);
}

bool createFreshFolder(const std::string& path, std::string& created) {
    created = path;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        if (mkdir(created.c_str(), 0700) == 0) return true;
        if (errno != EEXIST) return false;
        created = path + "_" + std::to_string(attempt);
        if (created.size() >= static_cast<size_t>(kPathBuffer)) {
            errno = 0;
            return false;
        }
    }
    return false;
}

std::string createTimeNamedFolder(const std::string& base, const std::string& prefix,
                                  const char* tag) {
    EvDebug log;
    const std::string first = timeNamedPath(base, prefix);
    std::string folder;
    log.DebugLvl(tag, 6, "Creating temp dir [%s]", first.c_str());
    if (first.empty() || !createFreshFolder(first, folder)) {
        log.Error(tag, "Failed to create directory [%s]. Error [%s]", folder.c_str(),
                  std::strerror(errno));
        return "";
    }
    return folder;
}

}  // namespace common

bool getTempDirInJobResultsDir(std::string& name) {
    const char* tag = "bool getTempDirInJobResultsDir(std::string&)";
    EvEvent log;
    const std::string dir = common::thisMachineJobResultsDir(tag);
    if (dir.empty()) return false;
    const std::string path = common::timeNamedPath(dir, name);
    if (path.empty()) {
        log.Error(tag, "Temporary directory path in [%s] is longer than %d characters", dir.c_str(),
                  common::kPathBuffer - 1);
        return false;
    }
    log.Debug(tag, "Creating temporary Directory in job results dir:[%s]", path.c_str());
    std::string created;
    if (!common::createFreshFolder(path, created)) {
        log.Error(tag, "Error creating directory:[%s] Error:[%s]", created.c_str(),
                  strerror(errno));
        return false;
    }
    name = created;
    return true;
}

CTeError CleanUpTempData(std::string& path) {
    const char* tag = "CTeError CleanUpTempData(std::string&)";
    EvDebug log;
    CTeError err = FXFile::RemoveFile(path);
    if (err.IsError()) {
        log.Debug(tag, "Failed to delete file [%s]. Error [%s]", path.c_str(),
                  err.AsString().c_str());
    }
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        std::string dir = path.substr(0, slash);
        err = CTeDirectory::Remove(dir, false, false);
        if (err.IsError()) {
            log.Debug(tag, "Could not able to delete temporary directory [%s]. Error [%s]",
                      dir.c_str(), err.AsString().c_str());
        }
    }
    return CTeError::Success();
}
