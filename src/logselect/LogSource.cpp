#include "logselect/LogSource.h"

#include <sys/stat.h>

#include <cerrno>

#include "common/ErrorMessage.h"
#include "common/TempFolders.h"
#include "host/File.h"
#include "host/Log.h"
#include "logselect/SharedDecompressor.h"

namespace logselect {

LogSource::LogSource(const std::string& logDir, const std::string& fileName)
    : logDir_(logDir), fileName_(fileName), path_(logDir + "/" + fileName) {}

LogSource::~LogSource() {
    file_ = host::FileHandle();  // closed before its temporary copy is removed
    if (temporary_) CleanUpTempData(path_);
}

LogSource::Status LogSource::check(const char* tag) {
    EvDebug log;
    struct stat st;
    if (lstat(path_.c_str(), &st) != 0) {
        if (errno != ENOENT) return Status::Open;  // the open reports it
        // Its lines live on under the name it was rotated to.
        log.Error(tag, "Log file [%s] is gone; it is left out.", path_.c_str());
        return Status::Gone;
    }
    // A link may name another log of the folder, never something outside it.
    if (S_ISLNK(st.st_mode) && !host::isWithinFolder(path_, logDir_)) {
        log.Error(tag, "Log file [%s] is a link leading out of [%s]; it is left out.",
                  path_.c_str(), logDir_.c_str());
        return Status::LeftOut;
    }
    if (stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        log.Error(tag, "Log file [%s] is not a regular file; it is left out.", path_.c_str());
        return Status::LeftOut;
    }
    return Status::Open;
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

LogSource::Status LogSource::open(const OpenFailureReport& report) {
    const Status checked = check(report.tag);
    if (checked != Status::Open) return checked;
    if (!decompress()) return Status::Failed;
    bool notRegular = false;
    file_ = host::FileHandle::openRegular(path_.c_str(), &notRegular);
    if (file_) return Status::Open;
    const int err = errno;
    EvDebug log;
    if (notRegular) {
        // Replaced since it was looked at.
        log.Error(report.tag, "Log file [%s] is not a regular file; it is left out.",
                  path_.c_str());
        return Status::LeftOut;
    }
    if (report.withErrorNumber)
        log.Error(report.tag, "Failed to open [%s], Error %d", fileName_.c_str(), err);
    else
        log.Error(report.tag, "Failed to open [%s]", fileName_.c_str());
    errno = err;
    printErrorMsg(report.signature);
    return Status::Failed;
}

}  // namespace logselect
