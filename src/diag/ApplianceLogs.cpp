#include "diag/ApplianceLogs.h"

#include <cerrno>
#include <cstring>

#include "common/Appliance.h"
#include "common/OptionBits.h"
#include "common/TempFolders.h"
#include "diag/ShellScript.h"
#include "host/File.h"
#include "host/Log.h"
#include "host/Process.h"
#include "host/Registry.h"
#include "scrub/ScrubbedCopies.h"

namespace {

const char* const kTag =
    "bool bundleTessaroLogs(time_t, std::string&, std::string, unsigned long, unsigned long, "
    "std::string, ScrubRuleList*, ReplacementMap*)";

// A text setting, empty when it is not set.
std::string setting(WYPlatformInfo& info, const char* key, const char* value) {
    std::string text;
    return info.getString(key, value, text) == 1 ? text : "";
}

std::string makeScrubFolder() {
    EvDebug log;
    const std::string results = common::thisMachineJobResultsDir(kTag);
    if (results.empty()) return "";
    const std::string first = common::timeNamedPath(results, "ScrubbedTessaroLogs_");
    std::string folder;
    log.DebugLvl(kTag, 6, "Creating temp dir [%s]", first.c_str());
    if (first.empty() || !common::createFreshFolder(first, folder)) {
        log.Error(kTag, "Failed to create directory [%s]. Error [%s]", folder.c_str(),
                  std::strerror(errno));
        return "";
    }
    return folder;
}

// Runs the hardware-log tool into the staging directory; its output folder, or empty.
std::string collectHardwareLogs(WYPlatformInfo& info, const std::string& installDir,
                                const std::string& supportDir, const std::string& number) {
    EvDebug log;
    const std::string type = setting(info, "MediaAgent", "sScaleoutPlatformType");
    if (!type.empty())
        log.DebugLvl(kTag, 6, "reg key [%s] [%s]", "sScaleoutPlatformType", type.c_str());
    WYPI_PlatformBase platform;
    platform.setFocus(WYPI_Focus::getFocus());
    const char* logDir = platform.getLogFilesDirectory();
    const std::string outputDir = supportDir + "/tessaroHWLogs-WYNX-" + number;
    const std::string command =
        diag::hardwareLogCommand(type, installDir, outputDir, logDir ? logDir : "");
    if (command.empty()) {
        log.Error(kTag, "Failed to get base directory path.");
        return "";
    }
    log.Debug(kTag, "Executing:[%s] to get tessaro hardware logs.", command.c_str());
    if (WyProcess::system(command.c_str(), nullptr, nullptr, 0, false) != 0) {
        log.Error(kTag, "Failed to get Tessaro Hardware logs.");
        return "";
    }
    return outputDir;
}

}  // namespace

namespace diag {

std::vector<std::string> applianceLogFolders() {
    std::vector<std::string> folders;
    for (const char* dir : {"/var/log/glusterfs", "/var/log/libvirt", "/var/log/ovirt-engine",
                            "/var/log/ovirt-hosted-engine-ha", "/var/log/ovirt-imageio-daemon",
                            "/var/log/ovirt-hosted-engine-setup", "/var/log/vdsm"})
        if (FXFolder::DoesFolderExist(dir)) folders.push_back(dir);
    return folders;
}

std::string reportPluginOptions(const std::string& enable, const std::string& skip) {
    if (!enable.empty()) return " -o " + host::shellQuote(enable);
    return skip.empty() ? " -a" : " -a -n " + host::shellQuote(skip);
}

std::string hardwareLogCommand(const std::string& platformType, const std::string& installDir,
                               const std::string& outputDir, const std::string& logDir) {
    if (platformType.empty() || platformType == "Tessaro" || installDir.empty()) return "";
    const std::string script = installDir + "/MediaAgent/wy_collect_ts_logs.py";
    std::string command =
        "python " + host::shellQuote(script) + " -helog -hwlog -o " + host::shellQuote(outputDir);
    if (!logDir.empty()) command += " -l " + host::shellQuote(logDir);
    return command;
}

std::string reportPattern(const std::string& supportDir, const std::string& bundleNumber) {
    return host::shellQuote(supportDir) + "/sosreport-WYNX-" + bundleNumber + "-* ";
}

std::string reportCommand(const ApplianceScriptInput& in) {
    return "sosreport --batch" + in.pluginOptions +
           " --tmp-dir=" + host::shellQuote(in.supportDir) + " --name=WYNX-" + in.bundleNumber +
           " > sosreport_cmd_output.log 2>&1";
}

std::string applianceScript(const ApplianceScriptInput& in) {
    std::string text = "cd  " + host::shellQuote(in.tempDir) + "\n";
    if (in.report) text += reportCommand(in) + "\n";
    text += "touch " + host::shellQuote(in.bundle) + "\n";
    text += "tar -rvf " + host::shellQuote(in.bundle) + " ";
    if (in.scrubFolder.empty())
        text += in.operands;
    else
        text += host::shellQuote(in.scrubFolder);
    text += " >/dev/null 2>&1\ncd  " + host::shellQuote(in.tempDir) + "\n";
    if (!in.reportPattern.empty())
        text += "rm -f " + in.reportPattern + "sosreport_cmd_output.log ";
    return text;
}

}  // namespace diag

bool bundleTessaroLogs(time_t bundleNumber, std::string& supportDir, std::string bundleFile,
                       unsigned long options, unsigned long /*extraOptions*/,
                       std::string installDir, ScrubRuleList* scrubRules,
                       ReplacementMap* replacements) {
    EvDebug log;
    if (bundleFile.empty()) {
        log.Error(kTag, "bundle file name is empty");
        return false;
    }
    WYPI_Base base;
    base.setFocus(WYPI_Focus::getFocus());
    const char* temp = base.getOrvionTempDirectory();
    if (temp == nullptr) {
        log.Debug(kTag, "Temporary directory is not found");
        return false;
    }
    diag::ApplianceScriptInput in;
    in.tempDir = temp;
    in.bundle = bundleFile;
    in.supportDir = supportDir;
    in.bundleNumber = std::to_string(static_cast<long long>(bundleNumber));
    const bool scrub = (options & OPT_SCRUB_LOGS) != 0;
    std::string scrubFolder;
    if (scrub) {
        scrubFolder = makeScrubFolder();
        if (scrubFolder.empty()) return false;
    }

    // The paths to bundle (the scrubber's list) and the same as tar operands.
    std::vector<std::string> includes = diag::applianceLogFolders();
    in.operands = diag::quotedList(includes);
    auto include = [&](const std::string& path) {
        includes.push_back(path);
        in.operands += host::shellQuote(path) + " ";
    };
    if (is_tessaro_ma()) {
        WYPlatformInfo info;
        info.setFocus(WYPI_Focus::getFocus());
        const std::string enable = setting(info, "EventManager", "sTessaroEnablePlugins");
        const std::string skip =
            enable.empty() ? setting(info, "EventManager", "sTessaroSkipPlugins") : "";
        in.report = true;
        in.pluginOptions = diag::reportPluginOptions(enable, skip);
        log.Debug(kTag, "Running SoSReport generation command: %s",
                  diag::reportCommand(in).c_str());
        include(in.tempDir + "/sosreport_cmd_output.log");
        // The report exists only once the script has run: the shell expands the pattern.
        in.reportPattern = diag::reportPattern(supportDir, in.bundleNumber);
        includes.push_back(supportDir + "/sosreport-WYNX-" + in.bundleNumber + "-*");
        in.operands += in.reportPattern;
        const std::string hardware =
            collectHardwareLogs(info, installDir, supportDir, in.bundleNumber);
        if (!hardware.empty()) include(hardware);
    }
    if (scrub) {
        // The report pattern names no file yet: the scrubber skips it, so a scrubbed bundle
        // holds the scrubbed folders and no report.
        scrubFileOrDirList(nullptr, includes, scrubFolder.c_str(), scrubRules, replacements,
                           nullptr);
        in.scrubFolder = scrubFolder;
    }

    const std::string stem = "tsbundles_" + std::to_string(static_cast<int>(bundleNumber)) + "_";
    diag::ScriptFile script;
    if (script.write(in.tempDir, stem, diag::applianceScript(in), kTag)) {
        script.run();
        script.remove(kTag);
    }
    if (!scrubFolder.empty()) {
        log.DebugLvl(kTag, 6, "Deleting folder [%s]", scrubFolder.c_str());
        if (CTeDirectory::Remove(scrubFolder, true, false).IsError())
            log.Error(kTag,
                      "Errors while removing the support dir.. Please remove directory[%s] "
                      "manually",
                      scrubFolder.c_str());
    }
    return true;
}
