// Job results layout, RMAN output and the media library log appended to a job log file, and
// replication pair result files.
#include "diag/JobResultFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>

#include "common/JobResultPaths.h"
#include "common/OptionBits.h"
#include "host/FileHandle.h"
#include "host/Jobs.h"
#include "host/Log.h"
#include "host/Registry.h"
#include "logselect/LogLineGrammar.h"

namespace {

constexpr size_t kCopyBlock = 16384;
const char kLibraryLog[] = "/tmp/libwyobk.log";

bool exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
}

// Copies dir/Collect.txt into dir/JobId_PairId_<id>, whose path goes to outPath.
bool copyCollectFile(char* outPath, const char* dir, const char* idText) {
    EvDebug log;
    const char* tag = "getFLRResult";
    char source[common::kPathSize];
    if (!common::formatPath(source, tag, "%s/Collect.txt", dir)) return false;
    host::FileHandle in = host::FileHandle::openRegular(source);
    if (!in) {
        log.Error(tag, "Failed to open [%s]", source);
        return false;
    }
    if (!common::formatPath(outPath, tag, "%s/JobId_PairId_%s", dir, idText)) return false;
    host::FileHandle out = host::FileHandle::open(outPath, "w+");
    if (!out) {
        log.Error(tag, "Failed to open [%s]", outPath);
        return false;
    }
    char block[kCopyBlock];
    bool ok = true;
    size_t got;
    while (ok && (got = fread(block, 1, sizeof block, in.get())) > 0) ok = out.write(block, got);
    if (ferror(in.get())) ok = false;
    if (!out.close()) ok = false;
    if (!ok) log.Error(tag, "Failed to copy [%s] to [%s]", source, outPath);
    return ok;
}

}  // namespace

bool dumpFileToLogFile(FILE* out, const char* path, const char* machineName, const char* label) {
    EvDebug log;
    const char* tag = "dumpFileToLogFile";
    host::FileHandle in = host::FileHandle::openRegular(path);
    if (!in) {
        log.Error(tag, "Failed to open [%s]", path);
        return false;
    }
    auto writeFailed = [&](size_t size) {
        const int err = errno;
        log.Error(tag, "Failed to write %lu bytes in [%s]. errno:%d:%s", (unsigned long)size, path,
                  err, strerror(err));
        return false;
    };
    if (!PrintHeader(out, machineName, label)) return writeFailed(0);
    char block[kCopyBlock];
    for (;;) {
        size_t got = 0;
        const bool read = host::io::read(in.get(), block, sizeof block, got);
        if (got > 0 && !host::io::write(out, block, got)) return writeFailed(got);
        if (!read) {
            log.Error(tag, "Failed to read [%s]. errno:%d:%s", path, errno, strerror(errno));
            return false;
        }
        if (got < sizeof block) break;
    }
    // The last bytes are still in the stream's buffer: a full disk shows only when they leave.
    if (fflush(out) != 0) return writeFailed(0);
    return true;
}

namespace diag {

bool appendRmanAndLibraryLog(FILE* out, long long jobId, const char* clientName,
                             unsigned long options, const char* libraryLog) {
    const char* name = nullptr;
    if (options & OPT_NO_ORACLE_RESULTS)
        name = nullptr;
    else if (options & OPT_ORACLE_BACKUP)
        name = "backup.out";
    else if (options & OPT_ORACLE_RESTORE)
        name = "restore.out";
    if (!name) return true;

    EvDebug log;
    const char* tag = "getRmanLogByJobId";
    bool copied = true;
    std::string client = host::clientOrThisMachine(clientName);
    std::string machine = client.empty() ? "NO NAME" : client;
    std::string root = common::jobResultsDirectoryOf(client.c_str());
    char path[common::kPathSize];
    if (root.empty()) {
        log.Error(tag, "Failed to get the job results directory of [%s]", client.c_str());
    } else if (common::formatPath(path, tag, "%s/WY_JobResults/%d/0/%lld/%s", root.c_str(), 2,
                                  jobId, name)) {
        log.Debug(tag, "rman log path is : %s ", path);
        if (exists(path)) {
            if (!dumpFileToLogFile(out, path, machine.c_str(), name)) {
                log.Error(tag, "Failed to dump rman logs , %s ", path);
                copied = false;
            }
        } else {
            log.Debug(tag, "Error while executing stat on, %s (%d)", path, errno);
        }
    }
    if (!exists(libraryLog)) {
        log.Debug(tag, "Error while executing stat on, %s (%d)", libraryLog, errno);
        return copied;
    }
    if (!dumpFileToLogFile(out, libraryLog, machine.c_str(), "libwyobk.log")) {
        log.Error(tag, "Failed to dump libwyobk logs , %s ", libraryLog);
        return false;
    }
    return copied;
}

}  // namespace diag

bool getRmanLogByJobId(FILE* out, long long jobId, const char* clientName, unsigned long options) {
    return diag::appendRmanAndLibraryLog(out, jobId, clientName, options, kLibraryLog);
}

bool getFLRResult(char* outPath, unsigned int unused, unsigned int pairId, unsigned int fileType,
                  const char* unusedText, long long jobId) {
    EvDebug log;
    const char* tag = "getFLRResult";
    outPath[0] = '\0';
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    const char* physical = info.getPhysicalMachine();
    if (!physical || !*physical) log.Error(tag, "Failed to retrieve the physical client name.");
    std::string root = common::jobResultsDirectoryOf(physical ? physical : "");
    if (root.empty()) {
        log.Error(tag, "Failed to get directory for pairId [%u].", pairId);
        return false;
    }
    char idText[32];
    char dir[common::kPathSize];
    bool ok;
    if (fileType == 6 || (fileType == 8 && jobId >= 1)) {
        snprintf(idText, sizeof idText, "%lld", jobId);
        ok = common::formatPath(dir, tag, "%s/cdr/copyback/%s", root.c_str(), idText);
    } else {
        snprintf(idText, sizeof idText, "%u", pairId);
        ok = common::formatPath(dir, tag, "%s/cdr/%s", root.c_str(), idText);
    }
    if (!ok) return false;
    log.Debug(tag, "Directory [%s]", dir);
    struct stat st;
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) {
        log.Error(tag, "Failed to locate Directory - %s, Error %d", dir, errno);
        return false;
    }
    switch (fileType) {
        case 1:
        case 3:
            return true;
        case 2:
            return common::formatPath(outPath, tag, "%s/OrphanFiles.txt", dir);
        case 4:
        case 6:
        case 8:
            return copyCollectFile(outPath, dir, idText);
        default:
            log.Error(tag, "Unknown file type [%u]", fileType);
            return false;
    }
}
