// Rotated copies, their ordering, and the user-profile logs step.
#include "logselect/FileSelection.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/File.h"
#include "host/Log.h"
#include "host/Registry.h"

bool getOldLogs(const std::string& directory, std::vector<std::string>& result) {
    EvDebug log;
    result.clear();
    struct stat st;
    if (stat(directory.c_str(), &st) != 0) {
        log.Error("getOldLogs", "Error while executing stat on %s (%d)\n", directory.c_str(),
                  errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        log.Error("getOldLogs", "Problem with the Source Directory - %s.", directory.c_str());
        return false;
    }
    DIR* dir = opendir(directory.c_str());
    if (!dir) {
        log.Error("getOldLogs", "Error in opening directory : %s, errno %d ", directory.c_str(),
                  errno);
        return false;
    }
    while (struct dirent* entry = readdir(dir)) {
        if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, "..")) continue;
        std::string path = directory + "/" + entry->d_name;
        struct stat es;
        if (stat(path.c_str(), &es) != 0) {
            log.Error("getOldLogs", "Error while executing stat on, %s (%d)", path.c_str(), errno);
            continue;
        }
        if (!S_ISDIR(es.st_mode) && strstr(entry->d_name, "_1.log"))
            result.push_back(entry->d_name);
    }
    closedir(dir);
    return true;
}

int checkOlderLogs(std::string& fileName, std::vector<std::string> names) {
    if (fileName.find("_1.log") != std::string::npos) return 0;
    size_t dot = fileName.find_last_of('.');
    std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    if (stem.size() > 1023) {
        EvDebug log;
        log.Error("checkOlderLogs", "File name [%.64s...] is longer than 1023 characters",
                  fileName.c_str());
        return 1;
    }
    for (const std::string& name : names) {
        if (name.find(stem) != std::string::npos) {
            fileName = name;
            return 2;
        }
    }
    return 1;
}

bool compareFileMTime(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    bool readA = stat(a.c_str(), &sa) == 0;
    bool readB = stat(b.c_str(), &sb) == 0;
    // Unreadable files sort last, as if oldest: "true for either" would not be an ordering
    // and sorting with it can run past the sequence.
    if (!readA) return false;
    if (!readB) return true;
    return sa.st_mtime > sb.st_mtime;
}

void collectUserSpecificLogs(const char* destDir, std::vector<std::string>& result, bool scrub,
                             ScrubRuleList* scrubRules, ReplacementMap* replacements) {
    EvDebug log;
    size_t length = destDir ? strlen(destDir) : 0;
    if (length < 2) {
        log.Error("collectUserSpecificLogs",
                  "The Dir name passed is NULL or destDir length is less [%d]", (int)length);
        return;
    }
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    long laptop = 0;
    if (!info.getNumber("FileSystemAgent", "nLaptopAgent", laptop) || laptop != 1)
        log.DebugLvl("collectUserSpecificLogs", 6,
                     "Laptop flag is not set. Will not collect User's profiles.");
}
