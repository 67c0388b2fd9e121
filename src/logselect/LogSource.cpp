#include "logselect/LogSource.h"

#include <cerrno>

#include "common/ErrorMessage.h"
#include "common/TempFolders.h"
#include "host/Log.h"
#include "logselect/SharedDecompressor.h"

namespace logselect {

LogSource::LogSource(const std::string& logDir, const std::string& fileName)
    : logDir_(logDir), fileName_(fileName), path_(logDir + "/" + fileName) {}

LogSource::~LogSource() {
    file_ = host::FileHandle();  // closed before its temporary copy is removed
    if (temporary_) CleanUpTempData(path_);
}

bool LogSource::decompress() {
    if (fileName_.find(".bz2") == std::string::npos) return true;
    EvDebug log;
    log.DebugLvl("LogSource::decompress", 2, "Decompressing the log file [%s]", path_.c_str());
    std::string copy = path_;
    CTeError error = decompressWithSharedArchiver(logDir_, fileName_, copy);
    if (error.IsError()) {
        log.DebugLvl("LogSource::decompress", 2,
                     "Decompressing the log file [%s] is failed. Error [%s]", path_.c_str(),
                     error.AsString().c_str());
        return false;
    }
    path_ = copy;
    temporary_ = true;
    return true;
}

bool LogSource::open(const OpenFailureReport& report) {
    if (!decompress()) return false;
    file_ = host::FileHandle::open(path_.c_str(), "r");
    if (file_) return true;
    const int err = errno;
    EvDebug log;
    if (report.withErrorNumber)
        log.Error(report.tag, "Failed to open [%s], Error %d", fileName_.c_str(), err);
    else
        log.Error(report.tag, "Failed to open [%s]", fileName_.c_str());
    errno = err;
    printErrorMsg(report.signature);
    return false;
}

}  // namespace logselect
