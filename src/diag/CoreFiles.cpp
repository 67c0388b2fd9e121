#include "diag/CoreFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "common/TempFolders.h"
#include "host/File.h"
#include "host/Log.h"
#include "host/Process.h"
#include "host/Registry.h"

namespace {

const char* const kTag = "bundleWysnapcore";
const char* const kKeyTag = "CTeError getExecutable(const string&, std::string&)";
const long kCoreErrorCode = 0x306;

// The switch is off only for the text "false", however capitalised, trailing blanks ignored.
bool switchedOff(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text == "false";
}

long readLimit(WYPlatformInfo& info, const char* value, long fallback) {
    char text[128] = {0};
    int size = sizeof text;
    if (!info.getString("Session", value, text, size)) return fallback;
    return std::strtol(text, nullptr, 10);
}

std::string readDirectory(WYPlatformInfo& info, const char* value) {
    char dir[common::kPathBuffer] = {0};
    int size = sizeof dir;
    return info.getString("Base", value, dir, size) ? dir : "";
}

}  // namespace

namespace diag {

CoreLimits readCoreLimits() {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    CoreLimits limits;
    char text[128] = {0};
    int size = sizeof text;
    if (info.getString("Session", "dWYSNAPCOREENABLE", text, size) && switchedOff(text))
        limits.enabled = false;
    limits.maxCores = readLimit(info, "dWYSNAPCOREMAXCORES", 10);
    limits.maxPerProgram = readLimit(info, "dWYSNAPCOREMAXCORESPEREXECUTABLE", 3);
    return limits;
}

bool listCoreCandidates(const std::string& coreDir, std::vector<CoreCandidate>& out) {
    DIR* dir = opendir(coreDir.c_str());
    if (dir == nullptr) return false;
    while (struct dirent* entry = readdir(dir)) {
        if (std::strstr(entry->d_name, "core") == nullptr) continue;
        CoreCandidate candidate;
        candidate.path = coreDir + "/" + entry->d_name;
        struct stat st;
        if (stat(candidate.path.c_str(), &st) == 0) {
            candidate.hasTime = true;
            candidate.modified = st.st_mtime;
        }
        out.push_back(candidate);
    }
    closedir(dir);
    std::sort(out.begin(), out.end(), [](const CoreCandidate& a, const CoreCandidate& b) {
        if (a.hasTime != b.hasTime) return a.hasTime;
        if (a.hasTime && a.modified != b.modified) return a.modified > b.modified;
        return a.path < b.path;
    });
    return true;
}

}  // namespace diag

CTeError getExecutable(const std::string& corePath, std::string& key) {
    if (corePath.empty())
        return FXErrorUtil::ErrorWin32(kKeyTag, kCoreErrorCode,
                                       "The input core file path is empty.");
    const std::string command = "file " + host::shellQuote(corePath);
    std::string out, err;
    if (WyProcess::system(command.c_str(), &out, &err, 0, false) != 0)
        return FXErrorUtil::ErrorWin32(kKeyTag, kCoreErrorCode,
                                       "Failed to run [%s] out [%s] err[%s].", command.c_str(),
                                       out.c_str(), err.c_str());
    // "file" starts with the path it was given; without it, cores of one program share a key.
    const std::string prefix = corePath + ": ";
    key = out.compare(0, prefix.size(), prefix) == 0 ? out.substr(prefix.size()) : out;
    return CTeError::Success();
}

bool bundleWysnapcore(std::vector<std::string>& includes, const char* coreDir) {
    EvDebug log;
    const std::string instance = WYPI_Focus::getFocus();
    if (coreDir == nullptr) {
        log.Error(kTag, "CoreDir is invalid input parameter");
        return false;
    }
    const diag::CoreLimits limits = diag::readCoreLimits();
    if (!limits.enabled) {
        log.Debug(kTag, "wysnapcore is disabled");
        return true;
    }
    WYPlatformInfo info;
    info.setFocus(instance.c_str());
    const std::string home = readDirectory(info, "dORVIONHOME");
    if (home.empty()) {
        log.Error(kTag, "Failed to get Tellura Home");
        return false;
    }
    const std::string toolDir = home + "/Base";
    std::string temp = readDirectory(info, "dORVIONTEMPDIR");
    if (temp.empty()) temp = home;

    std::string outputDir;
    const std::string first = common::timeNamedPath(temp, "pkgsharedlib_");
    if (first.empty() || !common::createFreshFolder(first, outputDir)) {
        log.Error(kTag, "Failed to create directory [%s] err[%s].", outputDir.c_str(),
                  std::strerror(errno));
        return false;
    }
    std::vector<diag::CoreCandidate> cores;
    if (!diag::listCoreCandidates(coreDir, cores)) {
        log.Error(kTag, "Failed to read core file directory [%s]", coreDir);
        CTeDirectory::Remove(outputDir, true, false);
        return false;
    }

    std::map<std::string, long> perProgram;
    long total = 0;
    for (const diag::CoreCandidate& core : cores) {
        std::string key;
        CTeError err = getExecutable(core.path, key);
        if (err.IsError()) {
            log.Error(kTag, "Failed to get file information for core [%s], err [%s]",
                      core.path.c_str(), err.AsString().c_str());
            return false;
        }
        if (total >= limits.maxCores) break;
        long& count = perProgram[key];
        if (count >= limits.maxPerProgram) continue;
        ++count;
        ++total;
        const std::string command =
            "cd " + host::shellQuote(toolDir) + "; ./wysnapcore -c " + host::shellQuote(core.path) +
            " -d " + host::shellQuote(outputDir) + " -n " + host::shellQuote(instance);
        std::string out, errText;
        if (WyProcess::system(command.c_str(), &out, &errText, 0, false) != 0) {
            log.Error(kTag, "Failed to run [%s] out [%s] err[%s].", command.c_str(), out.c_str(),
                      errText.c_str());
            return false;
        }
        log.Debug(kTag, "wysnapcore command [%s]", command.c_str());
    }
    if (cores.empty()) {
        CTeError err = CTeDirectory::Remove(outputDir, true, false);
        if (err.IsError()) {
            log.Error(kTag, "Failed to remove [%s] err[%s].", outputDir.c_str(),
                      err.AsString().c_str());
            return false;
        }
        return true;
    }
    includes.push_back(outputDir);
    return true;
}
