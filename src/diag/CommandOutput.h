// Output of the commands a request names: each command's standard output in its own log
// file, appended to the request's tar bundle or left for the caller.
#pragma once

#include <string>
#include <vector>

#include "host/Export.h"

// outputNumber below 1 takes the current time for each command. With tarBundle (not null or
// empty) the outputs are bundled and removed; otherwise they stay in outputDir (null: the
// product temporary directory) and outputs (may be null) receives their paths. 0 on success.
SL_API int getCommandOutput(std::vector<std::string> commands, const char* outputDir,
                            std::vector<std::string>* outputs, long outputNumber, bool unused,
                            const char* tarBundle);

namespace diag {

// The time limit of one request's commands, in seconds.
constexpr int kCommandTimeLimit = 300;
// getCommandOutput with the time limit as a parameter.
int runRequestedCommands(const std::vector<std::string>& commands, const char* outputDir,
                         std::vector<std::string>* outputs, long outputNumber,
                         const char* tarBundle, int timeLimitSeconds);
// Every "%OrvionBaseDir%" in command replaced by "<home>/Base/".
std::string expandBaseDir(const std::string& command, const std::string& home);

struct CommandScriptInput {
    std::string home;       // product home: the interpreter's folder and the commands' directory
    std::string outputDir;  // where the output files are
    std::vector<std::string> commands;  // expanded
    std::vector<std::string> names;     // output file names, one per command
    std::string bundle;                 // empty: no bundling
    bool append = false;                // the bundle exists already
};
std::string commandScript(const CommandScriptInput& in);

}  // namespace diag
