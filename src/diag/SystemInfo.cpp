#include "diag/SystemInfo.h"

#include <cerrno>
#include <cstring>

#include "common/OptionBits.h"
#include "common/TempFolders.h"
#include "diag/CoreFiles.h"
#include "diag/ShellScript.h"
#include "host/File.h"
#include "host/Log.h"
#include "host/Process.h"
#include "host/Registry.h"
#include "scrub/ScrubbedCopies.h"

namespace {

const char* const kTag = "bundleSystemLogs";

// "dCOREDIR", else "dORVIONHOME"; empty when neither is set.
std::string workingDirectory() {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    char dir[common::kPathBuffer] = {0};
    int size = sizeof dir;
    if (info.getString("Base", "dCOREDIR", dir, size) && dir[0] != '\0') return dir;
    size = sizeof dir;
    if (info.getString("Base", "dORVIONHOME", dir, size) && dir[0] != '\0') return dir;
    return "";
}

// A fresh "ScrubbedSystemLogs_<seconds>" folder in the job results directory; empty
// (logged) on failure.
std::string makeScrubFolder() {
    EvDebug log;
    const std::string results = common::thisMachineJobResultsDir(kTag);
    if (results.empty()) return "";
    const std::string first = common::timeNamedPath(results, "ScrubbedSystemLogs_");
    std::string folder;
    log.DebugLvl(kTag, 6, "Creating temp dir [%s]", first.c_str());
    if (first.empty() || !common::createFreshFolder(first, folder)) {
        log.Error(kTag, "Failed to create directory [%s]. Error [%s]", folder.c_str(),
                  std::strerror(errno));
        return "";
    }
    return folder;
}

void removeScrubFolder(const std::string& folder) {
    EvDebug log;
    log.DebugLvl(kTag, 6, "Deleting folder [%s]", folder.c_str());
    if (CTeDirectory::Remove(folder, true, false).IsError())
        log.Error(kTag,
                  "Errors while removing the support dir.. Please remove directory[%s] "
                  "manually",
                  folder.c_str());
}

}  // namespace

namespace diag {

std::string systemCommandsScript(const std::string& workDir) {
    return "cd  " + host::shellQuote(workDir) +
           "\n"
           "mkdir -p proc/sys\n"
           "uname -a > unameinfo.log 2>&1\n"
           "mount > mountinfo.log 2>&1\n"
           "df -h > diskfree.log 2>&1\n"
           "rpm -qa  > ospatch.log 2>&1\n"
           "ifconfig -a > netconfig.log  2>&1\n"
           "df -k > diskspace.log 2>&1\n"
           "sysctl -a > proc/sys/kernelSettings.log 2>&1\n"
           "cp -f /proc/version proc/\n"
           "cp -f /proc/cpuinfo proc/\n";
}

std::vector<std::string> systemIncludeList(const std::string& workDir) {
    std::vector<std::string> list;
    for (const char* name : {"/netconfig.log", "/ospatch.log", "/diskspace.log", "/unameinfo.log",
                             "/mountinfo.log", "/diskfree.log", "/proc"})
        list.push_back(workDir + name);
    for (const char* file : {"/var/log/messages", "/etc/lsb-release", "/etc/os-release",
                             "/etc/debian_version", "/etc/redhat-release"})
        list.push_back(file);
    return list;
}

std::string systemBundleScript(const std::string& bundle, const std::vector<std::string>& includes,
                               const std::string& scrubFolder, const std::string& workDir) {
    const std::string members =
        scrubFolder.empty() ? quotedList(includes) : host::shellQuote(scrubFolder);
    return "touch " + host::shellQuote(bundle) + "\ntar -rvf " + host::shellQuote(bundle) + " " +
           members + " >/dev/null 2>&1\ncd  " + host::shellQuote(workDir) +
           "\nrm -f diskspace.log netconfig.log ospatch.log oslevel.log lppchk.log bootinfo.log "
           "mountinfo.log diskfree.log 2>&1\nrm -rf proc/ 2>&1\n";
}

}  // namespace diag

bool bundleSystemLogs(long bundleNumber, std::string& /*supportDir*/, std::string bundleFile,
                      unsigned long options, unsigned long /*extraOptions*/,
                      std::string /*installDir*/, ScrubRuleList* scrubRules,
                      ReplacementMap* replacements) {
    EvDebug log;
    if (bundleFile.empty()) {
        log.Error(kTag, "bundle file name is empty");
        return false;
    }
    const std::string workDir = workingDirectory();
    if (workDir.empty()) {
        log.Debug(kTag, "Failed to get Tellura Home");
        return false;
    }
    const bool scrub = (options & OPT_SCRUB_LOGS) != 0;
    std::string scrubFolder;
    if (scrub) {
        scrubFolder = makeScrubFolder();
        if (scrubFolder.empty()) return false;
    }
    const std::string stem = "sysbundles_" + std::to_string(static_cast<int>(bundleNumber)) + "_";

    bool done = false;
    diag::ScriptFile commands;
    if (commands.write(workDir, stem, diag::systemCommandsScript(workDir), kTag)) {
        commands.run();
        commands.remove(kTag);

        std::vector<std::string> includes = diag::systemIncludeList(workDir);
        if (scrub) {
            log.Debug(kTag,
                      "Scrub logs is enabled. Will skip collecting Crash dumps And WySnapcore "
                      "files.");
            scrubFileOrDirList(nullptr, includes, scrubFolder.c_str(), scrubRules, replacements,
                               nullptr);
        } else if (options & OPT_CORE_FILES) {
            if (!bundleWysnapcore(includes, workDir.c_str()))
                log.Error(kTag, "Failed to run wysnapcore for each core file. Error ignored.");
        }
        diag::ScriptFile bundling;
        if (bundling.write(workDir, stem,
                           diag::systemBundleScript(bundleFile, includes, scrubFolder, workDir),
                           kTag)) {
            bundling.run();
            bundling.remove(kTag);
            done = true;
        }
    }
    if (!scrubFolder.empty()) removeScrubFolder(scrubFolder);
    return done;
}
