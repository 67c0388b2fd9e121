#include "diag/CommandOutput.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/TarPaths.h"
#include "common/TempFolders.h"
#include "diag/ShellScript.h"
#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/Process.h"
#include "host/Registry.h"

namespace {

const char* const kTag = "getCommandOutput";
const char* const kPlaceholder = "%OrvionBaseDir%";

std::string readDirectory(WYPlatformInfo& info, const char* value) {
    char dir[common::kPathBuffer] = {0};
    int size = sizeof dir;
    return info.getString("Base", value, dir, size) ? dir : "";
}

// Writes the expanded command and two line ends as the start of a fresh output file.
bool startOutputFile(const std::string& path, const std::string& command) {
    host::FileHandle file = host::FileHandle::open(path.c_str(), "w");
    const std::string head = command + "\n\n";
    if (file && file.write(head.data(), head.size()) && file.close()) return true;
    EvDebug log;
    log.Error(kTag, "Failed to write the output file [%s]: %s", path.c_str(), std::strerror(errno));
    return false;
}

// A private folder for one bundled run, so that requests sharing the output directory
// never write into each other's output files. Empty (logged) on failure.
std::string makeWorkFolder(const std::string& outputDir) {
    std::string name = outputDir + "/CommandOutput_XXXXXX";
    if (mkdtemp(&name[0]) != nullptr) return name;
    EvDebug log;
    log.Error(kTag, "can't create a batch file '%s'.", name.c_str());
    return "";
}

}  // namespace

namespace diag {

std::string expandBaseDir(const std::string& command, const std::string& home) {
    const std::string replacement = home + "/Base/";
    std::string out;
    size_t from = 0;
    for (size_t at; (at = command.find(kPlaceholder, from)) != std::string::npos;) {
        out.append(command, from, at - from).append(replacement);
        from = at + std::strlen(kPlaceholder);
    }
    return out.append(command, from, std::string::npos);
}

std::string commandScript(const CommandScriptInput& in) {
    std::string text = "#!" + in.home + "/ksh\n#\n\ncd " + host::shellQuote(in.home) + "\n\n";
    for (size_t i = 0; i < in.commands.size(); ++i)
        text += in.commands[i] + " >> " + host::shellQuote(in.outputDir + "/" + in.names[i]) + "\n";
    if (in.bundle.empty()) return text;
    text += "cd " + host::shellQuote(in.outputDir) + "\n\n";
    text += std::string(in.append ? "tar rvf " : "tar cvf ") + host::shellQuote(in.bundle) + " ";
    for (const std::string& name : in.names)
        text += " " + host::shellQuote(convertToRelativePath(name));
    text += "\nrm -f";
    for (const std::string& name : in.names) text += " " + host::shellQuote(name);
    return text + "\n\n";
}

int runRequestedCommands(const std::vector<std::string>& commands, const char* outputDir,
                         std::vector<std::string>* outputs, long outputNumber,
                         const char* tarBundle, int timeLimitSeconds) {
    const bool bundling = tarBundle != nullptr && *tarBundle != '\0';
    if (!bundling && outputDir == nullptr) return -1;
    EvDebug log;
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    CommandScriptInput in;
    in.home = readDirectory(info, "dORVIONHOME");
    if (in.home.empty()) {
        log.Debug(kTag, "Failed to get Tellura Home");
        return -1;
    }
    std::string dir = outputDir ? outputDir : readDirectory(info, "dORVIONTEMPDIR");
    if (dir.empty()) dir = in.home;

    std::string workFolder;
    if (bundling) {
        workFolder = makeWorkFolder(dir);
        if (workFolder.empty()) return -1;
        in.outputDir = workFolder;
        in.bundle = tarBundle;
        in.append = tarCreateOrAppend(tarBundle) == 'r';
    } else {
        in.outputDir = dir;
    }
    struct FolderGuard {
        std::string path;
        ~FolderGuard() {
            if (!path.empty()) CTeDirectory::Remove(path, true, false);
        }
    } guard{workFolder};

    for (size_t i = 0; i < commands.size(); ++i) {
        const long number = outputNumber < 1 ? static_cast<long>(time(nullptr)) : outputNumber;
        const std::string expanded = expandBaseDir(commands[i], in.home);
        const std::string name =
            "CommandOutput_" + std::to_string(number) + "_" + std::to_string(i) + ".log";
        if (!startOutputFile(in.outputDir + "/" + name, expanded)) return -1;
        in.commands.push_back(expanded);
        in.names.push_back(name);
    }
    if (!bundling && outputs != nullptr)
        for (const std::string& name : in.names) outputs->push_back(dir + "/" + name);

    ScriptFile script;
    if (!script.write(in.outputDir, "getCommandOutput_", commandScript(in), kTag,
                      "can't create a batch file '%s'."))
        return -1;
    WyProcess process;
    char error[1024] = {0};
    if (!process.StartProcess(host::shellQuote(script.path()), error, sizeof error)) {
        log.Debug(kTag, "%s", error);
        return -1;
    }
    int exitCode = 0;
    std::string errorText;
    if (!process.WaitForProcessToEnd(timeLimitSeconds, exitCode, errorText)) {
        log.Debug(kTag,
                  errorText == "timedout" ? "WaitForProcessToEnd returned, command=%s errorMsg=%s"
                                          : "WaitForProcessToEnd failed, command=%s errorMsg=%s",
                  script.path().c_str(), errorText.c_str());
        return -1;
    }
    if (exitCode != 0) {
        log.Debug(kTag, "Failed to run batch file %s", script.path().c_str());
        return -1;
    }
    script.remove(kTag);
    return 0;
}

}  // namespace diag

int getCommandOutput(std::vector<std::string> commands, const char* outputDir,
                     std::vector<std::string>* outputs, long outputNumber, bool /*unused*/,
                     const char* tarBundle) {
    return diag::runRequestedCommands(commands, outputDir, outputs, outputNumber, tarBundle,
                                      diag::kCommandTimeLimit);
}
