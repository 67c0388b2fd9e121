// The product log bundle: the include list, the generated script and its run, with scrubbed
// copies when the request asks for scrubbing.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bundle/TarBundles.h"
#include "common/Commands.h"
#include "common/OptionBits.h"
#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/Process.h"
#include "host/Registry.h"
#include "logselect/FileSelection.h"
#include "scrub/ScrubbedCopies.h"

namespace {

const char* const kTag = "bundleLogs";
constexpr size_t kMaxText = 1023;  // paths and command lines live in 1024-byte buffers
const char* const kSetupDirs[] = {"/var/log/.ovsetup", "/var/log/ovsetup"};

std::string q(const std::string& path) {
    return host::shellQuote(path);
}

// The text before the last "/"; a path without "/" is its own parent.
std::string parentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(0, slash);
}

// Creates a private file from a mkstemp template (suffixLength characters after the
// "XXXXXX"), so that two requests never share one; the template becomes its name.
host::FileHandle createUnique(std::string& name, int suffixLength) {
    const int fd = mkostemps(&name[0], suffixLength, O_CLOEXEC);
    if (fd < 0) return host::FileHandle();
    host::FileHandle file(fdopen(fd, "w"));
    if (!file) {
        close(fd);
        unlink(name.c_str());
    }
    return file;
}

// Removes a file this call made; a failure is only logged.
void removeFile(EvDebug& log, const std::string& path) {
    if (!path.empty() && unlink_utf(path.c_str()) != 0)
        log.Debug(kTag, "Cannot Cleanup file [%s]", path.c_str());
}

// Removes the scrubbed copy of the log directory whatever happened after it was made.
struct ScrubbedCopy {
    bool made = false;
    std::string dir;
    ~ScrubbedCopy() {
        if (!made) return;
        EvDebug log;
        log.DebugLvl(kTag, 6, "Deleting folder [%s]", dir.c_str());
        if (CTeDirectory::Remove(dir, true, false).IsError())
            log.Error(kTag,
                      "Errors while removing the support dir.. Please remove directory[%s] "
                      "manually",
                      dir.c_str());
    }
};

std::vector<std::string> includeList(unsigned long options, const char* baseDir,
                                     const std::string& bundleFile) {
    EvDebug log;
    std::vector<std::string> list;
    if (options & OPT_PRODUCT_LOGS) {
        // The registry in use: its root, which is "/etc/KestravRegistry" unless the host was
        // pointed elsewhere.
        list.push_back(host::registryRoot());
        if (baseDir != nullptr) {
            for (const char* name : {"/FwConfigInstall.txt", "/FwConfigLocal.txt", "/FwConfig.txt"})
                list.push_back(std::string(baseDir) + name);
        }
    }
    if (options & OPT_SETUP_LOGS) {
        log.Debug(kTag, "Adding AllUsersProfile folder %s and %s to collect list", kSetupDirs[0],
                  kSetupDirs[1]);
        for (const char* dir : kSetupDirs) {
            if (access(dir, F_OK) == 0)
                list.push_back(dir);
            else
                log.Error(kTag, "Failed to access path [%s]", dir);
        }
    }
    collectUserSpecificLogs(bundleFile.c_str(), list, false, nullptr, nullptr);
    return list;
}

bool tooLong(EvDebug& log, const char* what, const std::string& text) {
    if (text.size() <= kMaxText) return false;
    log.Error(kTag, "%s of %zu characters is longer than %zu: [%.200s...]", what, text.size(),
              kMaxText, text.c_str());
    return true;
}

}  // namespace

namespace bundle {

std::string composeBundleScript(const BundleScript& s) {
    EvDebug log;
    const std::string bundle = q(s.bundleFile);
    std::string text = "touch " + bundle + "\n";
    if (!s.scrubbed) {
        text += "tar -cvf " + bundle + " ";
        for (const std::string& entry : s.includeList) text += q(entry) + " ";
    }
    // A folder the script cannot enter ends it: tar must not pack the current directory.
    text += "\ncd  " + q(s.sourceDir) + " || exit 1";
    text += "\ntar -rvf " + bundle + " -X " + q(s.excludeFile) + " ./";
    if (s.extraFiles != nullptr) {
        for (const std::string& entry : *s.extraFiles) {
            if (entry.size() > kMaxText) {
                log.Debug(kTag, "Error File Path: [%.200s...] too long. Not included in bundle",
                          entry.c_str());
                continue;
            }
            const size_t slash = entry.rfind('/');
            if (slash != std::string::npos) {
                text += "\ncd " + q(entry.substr(0, slash)) + " || exit 1";
                text += "\ntar -rvf " + bundle + " " + q(entry.substr(slash + 1));
            } else {
                text += "\ntar -rvf " + bundle + " " + q(entry);
            }
        }
    }
    if (s.extraNames != nullptr) {
        for (const std::string& name : *s.extraNames) {
            std::string escaped;
            if (!common::escapeShellPattern(name, escaped)) {
                log.Error(kTag, "Extra name [%.200s] holds a control character; not included",
                          name.c_str());
            } else if (!tooLong(log, "Extra name", escaped)) {
                text += " " + escaped;
            }
        }
    }
    return text;
}

}  // namespace bundle

bool bundleLogs(long bundleNumber, const char* logDir, std::string bundleFile,
                std::vector<std::string>* extraFiles, std::vector<std::string>* extraNames,
                unsigned long options, ScrubRuleList* scrubRules, ReplacementMap* replacements) {
    EvDebug log;
    if (bundleFile.empty()) {
        log.Error(kTag, "bundle file name is empty");
        return false;
    }
    WYPI_PlatformBase platform;
    platform.setFocus(WYPI_Focus::getFocus());
    const char* baseDir = platform.getBaseHomeDirectory();
    if (baseDir == nullptr)
        log.Error(kTag, "Warning : Could not get base directory, cannot bundle firewall files.");

    bundle::BundleScript script;
    script.bundleFile = bundleFile;
    script.sourceDir = logDir != nullptr ? logDir : "";
    ScrubbedCopy copy;
    const bool scrub = (options & OPT_SCRUB_LOGS) != 0;
    if (scrub) {
        if (scrubLogFilesWrapper(script.sourceDir, scrubRules, replacements, copy.made, copy.dir) !=
            0)
            return false;
        script.sourceDir = copy.dir;
    }
    log.DebugLvl(kTag, 6, "Log path to be Compressed [%s].", script.sourceDir.c_str());
    if (tooLong(log, "Bundle path", bundleFile) || tooLong(log, "Log path", script.sourceDir))
        return false;

    // Names carry the bundle number and a random part: requests started in the same second
    // never share them.
    const int number = static_cast<int>(bundleNumber);
    std::string excludeName =
        parentOf(script.sourceDir) + "/exclude_" + std::to_string(number) + "_XXXXXX";
    host::FileHandle exclude;
    if (!tooLong(log, "Exclude file name", excludeName)) exclude = createUnique(excludeName, 0);
    if (!exclude) {
        log.Error(kTag, "can't open an exclude file.");
        return false;
    }
    script.excludeFile = excludeName;
    struct Cleanup {
        EvDebug& log;
        std::string scriptName, excludeName;
        ~Cleanup() {
            removeFile(log, scriptName);
            removeFile(log, excludeName);
        }
    } cleanup{log, "", excludeName};
    if (!exclude.write("./locks", 7) || !exclude.close()) {
        log.Error(kTag, "can't write the exclude file [%s]: %s", excludeName.c_str(),
                  strerror(errno));
        return false;
    }

    std::string scriptName;
    host::FileHandle file;
    if (baseDir != nullptr) {
        scriptName =
            std::string(baseDir) + "/Temp/bundles_" + std::to_string(number) + "_XXXXXX.sh";
        if (!tooLong(log, "Script name", scriptName)) file = createUnique(scriptName, 3);
    }
    if (!file) {
        log.Error(kTag, "can't open an batch file.");
        return false;
    }
    cleanup.scriptName = scriptName;

    script.includeList = includeList(options, baseDir, bundleFile);
    if (scrub) {
        scrubFileOrDirList(nullptr, script.includeList, script.sourceDir.c_str(), scrubRules,
                           replacements, nullptr);
        script.scrubbed = true;
    }
    script.extraFiles = extraFiles;
    script.extraNames = extraNames;
    const std::string text = bundle::composeBundleScript(script);
    if (!file.write(text.data(), text.size()) || !file.close()) {
        log.Error(kTag, "can't write the batch file [%s]: %s", scriptName.c_str(), strerror(errno));
        return false;
    }
    if (chmod_utf(scriptName.c_str(), 0755) != 0)
        log.Debug(kTag, "Cannot change permission on  file [%s]", scriptName.c_str());

    // The host reads the runner's integer as a time limit in seconds; a large log directory
    // takes longer than any fixed limit, so the script runs without one.
    WyProcess::system(q(scriptName).c_str(), nullptr, nullptr, 0, false);
    return true;
}
