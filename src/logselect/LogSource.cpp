#include "logselect/LogSource.h"

#include "common/TempFolders.h"
#include "host/Log.h"
#include "logselect/SharedDecompressor.h"

namespace logselect {

LogSource::LogSource(const std::string& logDir, const std::string& fileName)
    : logDir_(logDir), fileName_(fileName), path_(logDir + "/" + fileName) {}

LogSource::~LogSource() {
    if (temporary_) CleanUpTempData(path_);
}

bool LogSource::prepare() {
    if (fileName_.find(".bz2") == std::string::npos) return true;
    EvDebug log;
    log.DebugLvl("LogSource::prepare", 2, "Decompressing the log file [%s]", path_.c_str());
    std::string copy = path_;
    CTeError error = decompressWithSharedArchiver(logDir_, fileName_, copy);
    if (error.IsError()) {
        log.DebugLvl("LogSource::prepare", 2,
                     "Decompressing the log file [%s] is failed. Error [%s]", path_.c_str(),
                     error.AsString().c_str());
        return false;
    }
    path_ = copy;
    temporary_ = true;
    return true;
}

}  // namespace logselect
