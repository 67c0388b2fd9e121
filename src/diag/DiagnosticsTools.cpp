// Launching the diagnostics tool and the performance log analyser.
#include "diag/DiagnosticsTools.h"

#include <unistd.h>

#include "common/Commands.h"
#include "host/File.h"
#include "host/Log.h"
#include "host/Process.h"
#include "host/Registry.h"

namespace {

constexpr long kDiagnosticsError = 774;
constexpr unsigned long long kMediaAgent = 0x2;

std::string q(const std::string& text) {
    return host::shellQuote(text);
}

CTeError failure(const std::string& text) {
    return CTeError(kDiagnosticsError, text, SL_CODE_LOCATION);
}

}  // namespace

CTeError runWyDiagnostics(const char* outputDir, std::string& bundlePath,
                          const char* scrubPatternsFile, unsigned long clientId) {
    EvDebug log;
    const char* tag = "runWyDiagnostics";
    bundlePath.clear();
    const char* instance = WYPI_Focus::getFocus();
    WYPI_Base base;
    base.setFocus(instance);
    const char* home = base.getHomeDirectory();
    if (home == nullptr || *home == '\0') {
        log.DebugLvl(tag, 0, "Couldn't get the base path. Not executing WyDiagnostics");
        return failure("Base path is emtpy.");
    }
    if (instance == nullptr || *instance == '\0' || outputDir == nullptr || *outputDir == '\0') {
        log.DebugLvl(tag, 0,
                     "Incorrect arguments for WyDiagnostics. Not collecting WyDiagnostics bundle");
        return failure(
            "Incorrect arguments for WyDiagnostics. Not collecting WyDiagnostics bundle");
    }
    // Every path and name is quoted: none of them can run anything of its own.
    std::string arguments = q(FXPath::Append(home, "WyDiagnostics", 0)) + " -vm " + q(instance);
    if (clientId != 0) arguments += " -clientID " + std::to_string(clientId);
    arguments += " -sendlogfilesjob -output " + q(outputDir);
    if (scrubPatternsFile != nullptr && *scrubPatternsFile != '\0')
        arguments += " -spf " + q(scrubPatternsFile);
    log.DebugLvl(tag, 3, "WyDiagnostics arguments : %s", arguments.c_str());

    WyProcess process;
    char errorText[1024] = {0};
    if (!process.StartProcess(arguments, errorText, sizeof(errorText))) {
        log.Error(tag,
                  "Failed to execute WyDiagnostics. Could not StartProcess with arguments %s. "
                  "Got Error : %s.",
                  arguments.c_str(), errorText);
        return failure("Executing WyDiagnostics failed");
    }
    log.DebugLvl(tag, 0, "Launched process: %s . Pid= %d .", arguments.c_str(),
                 static_cast<int>(process.GetPid()));
    int exitCode = 0;
    std::string waitError;
    if (!process.WaitForProcessToEnd(0, exitCode, waitError)) {
        log.Error(tag, "Couldn't fetch WyDiagnostics return code. Got error: %s",
                  waitError.c_str());
        return CTeError(exitCode != 0 ? exitCode : kDiagnosticsError,
                        "Couldn't fetch WyDiagnostics return code", SL_CODE_LOCATION);
    }
    log.DebugLvl(tag, 0, "WyDiagnostics successfully executed");
    bundlePath = FXPath::Append(outputDir, "WyDiagnostics.7z", 0);
    if (FXFile::DoesFileExist(bundlePath)) return CTeError();
    log.Error(tag, "Couldn't locate file (%s)", bundlePath.c_str());
    return failure("Couldn't locate file (" + bundlePath + ")");
}

bool getWyPerfMgrLogAnalysisReport(const char* outputDir, unsigned long long jobId) {
    EvDebug log;
    const char* tag = "getWyPerfMgrLogAnalysisReport";
    const char* instance = WYPI_Focus::getFocus();
    WYPlatformInfo info;
    info.setFocus(instance);
    if ((info.getWYPlatformType() & kMediaAgent) == 0) {
        log.DebugLvl(tag, 3,
                     "This system is not a MediaAgent. Will not generate the Performance Manager "
                     "report for this job:[%lld]",
                     static_cast<long long>(jobId));
        return true;
    }
    WYPI_PlatformBase platform;
    platform.setFocus(instance);
    const char* base = platform.getBaseHomeDirectory();
    const std::string command = q(std::string(base ? base : "") + "/" + "WyPerfLogAnalyze") +
                                " -jobid " + std::to_string(static_cast<long long>(jobId)) +
                                " -vm " + q(instance ? instance : "") + " -opdir " +
                                q(outputDir ? outputDir : "");
    log.Debug(tag, "Getting Performance Log Analysis report for job:[%llu]", jobId);
    if (!runCommand(command.c_str(), tag)) {
        log.Error(tag, "Error analyzing performance logs for job id:[%llu]", jobId);
        return false;
    }
    return true;
}
