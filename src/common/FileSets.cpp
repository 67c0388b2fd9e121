// Directory listings with the inclusion rules of log collection.
#include "common/FileSets.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Log.h"

namespace {

// Service logs that are always collected, whatever their age or suffix.
const char* const kAlwaysIncluded[] = {
    "wyd.log",          "evmgrc.log",         "evmgrs.log",
    "jobmanager.log",   "applicationmgr.log", "appmgrservice.log",
    "mediamanager.log", "wyma.log",           "tesdk.log",
    "srmserver.log",    "ovhsmservice.log",   "ovdc.log",
    "auxcopymgr.log",   "srmreportmgr.log",   "taskmanager.log",
};
const char* const kArchiveSuffixes[] = {".zip", ".7z", ".tar.gz", ".cab"};

bool endsWith(const std::string& text, const char* suffix) {
    size_t n = strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

std::string lowerCopy(const std::string& text) {
    std::string lower(text);
    for (char& c : lower) c = (char)tolower((unsigned char)c);
    return lower;
}

}  // namespace

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool canIncludeFile(const std::string& path, time_t fromTime, time_t toTime, bool includeDumps,
                    bool includeArchives, std::set<std::string>* exclude) {
    if (exclude && exclude->count(path)) return false;
    std::string lower = lowerCopy(path);
    for (const char* name : kAlwaysIncluded) {
        if (endsWith(lower, name)) return true;
    }
    if (path.find(".log") != std::string::npos && fromTime != 0) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || st.st_mtime < fromTime) return false;
    }
    if (!includeArchives) {
        for (const char* suffix : kArchiveSuffixes) {
            if (endsWith(path, suffix)) return false;
        }
    }
    if (!includeDumps && endsWith(path, ".dmp")) return false;
    return true;
}

int updateFileRecord(const std::string& path) {
    unsigned long long size = 1;
    if (FXFile::WYGetFileSize(path, size).IsError() || size != 0) return 0;
    // An empty file is listed only when it can be opened for writing as well.
    host::FileHandle f(FXFile::WYCreateFile(path));
    if (!f) {
        EvDebug log;
        log.Error("updateFileRecord", "Failed to Open file %s, Error %d", path.c_str(), errno);
        return -1;
    }
    return 0;
}

bool getFilesList(std::vector<std::string>& result, const char* directory, const char* pattern,
                  bool fullPath, time_t fromTime, time_t toTime, bool includeDumps,
                  bool includeArchives, std::set<std::string>* exclude, bool filesOnly) {
    EvDebug log;
    std::string dir = directory ? directory : "";
    if (!IsFolder(dir)) {
        log.Error("getFilesList", "Source directory must be a directory name - %s", dir.c_str());
        return false;
    }
    std::vector<std::string> matches;
    CTeError error = FXFile::GetMatchingFiles(dir, pattern ? pattern : "*", matches, false);
    if (error.IsError()) {
        log.Error("getFilesList", "Failed to find matched files, error: %s",
                  error.AsString().c_str());
        return false;
    }
    if (matches.empty()) {
        log.DebugLvl("getFilesList", 6, "No matching file found for [%s]", dir.c_str());
        return true;
    }
    for (const std::string& match : matches) {
        std::string name = match.substr(match.find_last_of('/') + 1);
        if (name.empty()) {
            log.Error("getFilesList", "exception got when processing %s", match.c_str());
            continue;
        }
        std::string full = dir + "/" + name;
        if (!IsFolder(full)) {
            if (access(full.c_str(), R_OK) == 0 &&
                canIncludeFile(full, fromTime, toTime, includeDumps, includeArchives, exclude) &&
                updateFileRecord(full) == 0) {
                result.push_back(fullPath ? full : name);
            }
        } else if (!filesOnly && !(exclude && exclude->count(full))) {
            result.push_back(fullPath ? full : name);
        }
    }
    result.erase(std::remove_if(result.begin(), result.end(),
                                [](const std::string& e) { return endsWith(e, ".lck"); }),
                 result.end());
    return true;
}

bool getLogFilesList(const char* directory, std::vector<std::string>& result,
                     std::vector<std::string>* names, int mode, time_t fromTime, time_t toTime,
                     bool includeDumps, bool includeArchives, std::set<std::string>* exclude) {
    if (mode == 2) return true;
    bool ok = true;
    if (!names) {
        bool filesOnly = mode == 1;
        ok = getFilesList(result, directory, nullptr, false, fromTime, toTime, includeDumps,
                          includeArchives, exclude, filesOnly);
    } else {
        for (const std::string& name : *names) {
            getFilesList(result, directory, name.c_str(), false, fromTime, toTime, includeDumps,
                         includeArchives, exclude, false);
        }
    }
    if (mode == 3) {
        result.erase(std::remove_if(result.begin(), result.end(),
                                    [](const std::string& e) { return endsWith(e, ".dmp"); }),
                     result.end());
    }
    return ok;
}
