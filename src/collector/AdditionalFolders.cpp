// The additional folders of a request: each packed into its own tar bundle (only the recent
// files of a SAP archive-log folder), which then joins the main bundle under its bare name.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "collector/SapFilter.h"
#include "collector/infoNLogsCollector.h"
#include "common/ErrorMessage.h"
#include "host/FileHandle.h"
#include "host/Process.h"

namespace {

const char* const kTag = "collectAdditionalFolders";
const char* const kSapTag = "applySAPSpecificFilter";
constexpr size_t kMaxPath = 1023;
constexpr size_t kMaxCommand = 4095;
constexpr long kDay = 86400;
constexpr long kWindowWidening = 7 * kDay;
const char* const kExcluded[] = {".dbf", ".DBF", ".arc", ".ARC", ".data", ".DATA"};

std::string q(const std::string& text) {
    return host::shellQuote(text);
}

// Splits "name<0x12>dir": runs of 0x12 count as one, empty pieces are dropped, further
// pieces are ignored. False when there is no directory.
bool splitEntry(const std::string& entry, std::string& name, std::string& dir) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= entry.size() && pieces.size() < 2) {
        size_t end = entry.find('\x12', start);
        if (end == std::string::npos) end = entry.size();
        if (end > start) pieces.push_back(entry.substr(start, end - start));
        start = end + 1;
    }
    if (pieces.size() < 2) return false;
    name = pieces[0];
    dir = pieces[1];
    return true;
}

// The name becomes a file in the staging directory: one component, no control characters.
bool usableName(const std::string& name) {
    if (name == "." || name == ".." || name.find('/') != std::string::npos) return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

// Birth time where the file system keeps it, else the time of the last status change.
time_t creationTime(const std::string& path, const struct stat& st) {
    struct statx sx;
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) == 0 &&
        (sx.stx_mask & STATX_BTIME))
        return static_cast<time_t>(sx.stx_btime.tv_sec);
    return st.st_ctime;
}

unsigned long sapAgeLimitDays() {
    EvDebug log;
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    unsigned long days = 7;
    if (!info.getNumber("OracleSapAgent", "nExcludeSAPLogsOlderThanNDays", days)) {
        log.Debug(kSapTag,
                  "Failed to get nExcludeSAPLogsOlderThanNDays. Using default value 7 days");
        days = 7;
    } else if (days > 30) {
        log.Debug(kSapTag,
                  "Please specify less than 30 days. Re-setting to default value (7 days)");
        days = 7;
    }
    log.DebugLvl(kSapTag, 6, "Number of days=[%lu]", days);
    return days;
}

}  // namespace

namespace collector {

int applySapFilterAt(const std::string& name, const std::string& dir,
                     std::vector<std::string>& selected, long fromTime, long toTime, time_t now) {
    EvDebug log;
    if (name.find("SAPBACKUP_") == std::string::npos &&
        name.find("SAPARCH_") == std::string::npos) {
        log.DebugLvl(kSapTag, 6, "Not a SAP  directory. Skipping the filter. dir_name=[%s]",
                     name.c_str());
        return 0;
    }
    const unsigned long days = sapAgeLimitDays();
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        log.Error(kSapTag, "Source directory must be a directory name - %s", dir.c_str());
        return 0;
    }
    const std::string listed = dir + "/";
    DIR* folder = opendir(listed.c_str());
    if (folder == nullptr) {
        log.Error(kSapTag, "cannot find the first file in %s, Error %s", listed.c_str(),
                  strerror(errno));
        printErrorMsg(kSapTag);
        return 0;
    }
    log.DebugLvl(kSapTag, 6, "startTime [%d] endTime [%d] filePath[%s]", static_cast<int>(fromTime),
                 static_cast<int>(toTime), listed.c_str());
    const bool noWindow = fromTime == 0 && toTime == 0;
    const time_t oldest = now - static_cast<time_t>(days) * kDay;
    std::vector<std::string> names;
    while (struct dirent* entry = readdir(folder)) names.push_back(entry->d_name);
    closedir(folder);
    for (const std::string& file : names) {
        if (file == "." || file == "..") continue;
        bool excluded = false;
        for (const char* extension : kExcluded)
            if (file.find(extension) != std::string::npos) excluded = true;
        const std::string path = listed + file;
        struct stat fileStat;
        if (excluded || lstat(path.c_str(), &fileStat) != 0 || S_ISDIR(fileStat.st_mode)) continue;
        const bool take = noWindow ? creationTime(path, fileStat) >= oldest
                                   : fileStat.st_mtime >= fromTime - kWindowWidening &&
                                         fileStat.st_mtime <= toTime + kWindowWidening;
        if (take) selected.push_back(dir + "/" + file);
    }
    return 1;
}

}  // namespace collector

int applySAPSpecificFilter(const std::string& name, const std::string& dir,
                           std::vector<std::string>& selected, long fromTime, long toTime) {
    return collector::applySapFilterAt(name, dir, selected, fromTime, toTime, time(nullptr));
}

void infoNLogsCollector::collectAdditionalFolders() {
    if (additionalFolders.empty()) return;
    if (isScrubLogsEnabled()) {
        logger.Debug(kTag,
                     "Scrub Logs is enabled. Will SKIP collecting additional directories passed.");
        return;
    }
    if (bundleFile.empty()) {
        logger.Debug(kTag, "No main bundle to add the additional folders to");
        return;
    }
    for (const std::string& entry : additionalFolders) {
        std::string name, dir;
        if (!splitEntry(entry, name, dir) || access(dir.c_str(), F_OK) != 0) continue;
        if (!usableName(name)) {
            logger.Error(kTag, "Additional folder name [%.200s] is not a file name; skipped",
                         name.c_str());
            continue;
        }
        const std::string folderBundle = strSupportDir + "/" + name + ".tar";
        if (folderBundle.size() > kMaxPath) {
            logger.Error(kTag, "Bundle name for [%.200s] is longer than %zu characters; skipped",
                         name.c_str(), kMaxPath);
            continue;
        }
        logger.DebugLvl(kTag, 3, "Collecting additional logs from dir=[%s]", dir.c_str());
        std::string command = "tar -rvf " + q(folderBundle) + " " + q(dir) + " ";
        std::vector<std::string> selected;
        if (applySAPSpecificFilter(name, dir, selected, fromTime, toTime) == 1 &&
            !selected.empty()) {
            const std::string includeFile = strSupportDir + "/includeFileForSAPLogs";
            // Private whatever the umask: it lists the machine's files.
            const int fd = open(includeFile.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            host::FileHandle include(fd >= 0 ? fdopen(fd, "w+") : nullptr);
            if (fd >= 0 && !include) close(fd);
            bool written = static_cast<bool>(include);
            for (const std::string& path : selected) {
                // tar reads one name per line: a name with a line end cannot be listed.
                if (path.find('\n') != std::string::npos) {
                    logger.Error(kTag, "File name with a line end left out: [%.200s]",
                                 path.c_str());
                    continue;
                }
                if (written) written = host::io::printf(include.get(), "%s\n", path.c_str());
            }
            if (written) written = include.close();
            if (written) {
                command = "tar -rvf " + q(folderBundle) + " -T " + q(includeFile);
            } else {
                logger.Error(kTag, "Failed to create SAP include file");
            }
            logger.Debug(kTag, "Applied SAP specific filter on dir=[%s]", dir.c_str());
        }
        if (command.size() > kMaxCommand) {
            logger.Error(kTag, "Command for [%.200s] is longer than %zu characters; skipped",
                         dir.c_str(), kMaxCommand);
            continue;
        }
        WyProcess::system(command.c_str(), nullptr, nullptr, 0, false);
        const std::string append = "cd " + q(strSupportDir) + " && tar -rvf " + q(bundleFile) +
                                   " " + q(name + ".tar") + " ";
        if (append.size() > kMaxCommand) {
            logger.Error(kTag, "Command for [%.200s] is longer than %zu characters; skipped",
                         name.c_str(), kMaxCommand);
            continue;
        }
        WyProcess::system(append.c_str(), nullptr, nullptr, 0, false);
    }
}
