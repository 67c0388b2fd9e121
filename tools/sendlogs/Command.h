// Sub-commands of the sendlogs program register themselves here, one file per command, so
// that main() stays a thin dispatcher.
#pragma once

#include <map>
#include <string>

namespace cli {

using CommandFn = int (*)(int argc, char** argv);  // argv[0] is the command's name
struct CommandInfo {
    std::string summary;
    CommandFn run = nullptr;
};
std::map<std::string, CommandInfo>& commandTable();

struct CommandRegistration {
    CommandRegistration(const char* name, const char* summary, CommandFn fn) {
        commandTable()[name] = CommandInfo{summary, fn};
    }
};

}  // namespace cli

#define SENDLOGS_COMMAND(name, summary, fn) \
    static ::cli::CommandRegistration sendlogs_command_registration_##fn(name, summary, fn)
