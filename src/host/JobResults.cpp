// Job result files: their place in the job results layout and the stand-in for their
// generation by the central server.
#include "host/JobResults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/FileHandle.h"
#include "host/Jobs.h"
#include "host/Log.h"
#include "host/Registry.h"

namespace {

const char* const kTag = "RetrieveResults";

bool isFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

RetrieveResults::RetrieveResults(int appType, long long jobId, int kind, const char* clientName,
                                 int reserved)
    : jobId_(jobId), kind_(kind) {
    WYPI_CommClient comm;
    comm.setFocus(WYPI_Focus::getFocus());
    const std::string root =
        comm.getJobResultsDirectory(host::clientOrThisMachine(clientName).c_str());
    if (root.empty() || jobId <= 0 || (kind != 1 && kind != 2)) return;
    const std::string folder =
        root + "/WY_JobResults/" + std::to_string(appType) + "/0/" + std::to_string(jobId);
    if (!isFolder(folder)) return;
    path_ = folder + (kind == 2 ? "/restore.out" : "/backup.out");
}

bool RetrieveResults::checkBackupFile(const char* path) const {
    struct stat st;
    return path != nullptr && lstat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

bool RetrieveResults::generateFile(const char* path) {
    EvDebug log;
    if (path == nullptr || *path == '\0') return false;
    const std::string target = path;
    const std::string folder = target.substr(0, target.rfind('/') + 1);
    std::ostringstream text;
    text << "Recovery Manager report of job " << jobId_ << " ("
         << (kind_ == 2 ? "restore" : "backup") << ")\n";
    std::ifstream summary(folder + "JobSummary.txt");
    std::string line;
    while (std::getline(summary, line)) text << "  " << line << "\n";
    text << "Recovery Manager complete.\n";

    std::string temporary = target + ".XXXXXX";
    int fd = mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0) {
        log.Error(kTag, "Cannot create a result file next to [%s]: %s", path, strerror(errno));
        return false;
    }
    host::FileHandle out(fdopen(fd, "w"));
    if (!out) close(fd);
    const std::string body = text.str();
    bool ok = out && out.write(body.data(), body.size());
    ok = out.close() && ok;
    if (ok && rename(temporary.c_str(), path) != 0) ok = false;
    if (!ok) {
        log.Error(kTag, "Cannot write the result file [%s]: %s", path, strerror(errno));
        unlink(temporary.c_str());
    }
    return ok;
}
