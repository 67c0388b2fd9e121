// The sendlogs program is one command-line application whose subcommands are its commands.
// Each XxxCommand.cpp adds its own (options, help, and what runs it); main() parses the whole
// command line and runs the chosen command only once nothing in it is wrong.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "CliSupport.h"

namespace cli {

struct Program {
    CLI::App app;
    CommonOptions common;           // the options every command takes
    std::function<int()> selected;  // what the parsed command runs: its exit status
};

// Adds command `name` under parent (the program, or a command group such as "sandbox"). The
// first line of description is its entry in the list of commands; its help shows all of it,
// then its options, the options every command takes and footer. run is called after the
// whole command line parsed.
CLI::App* addCommand(Program& program, CLI::App& parent, const std::string& name,
                     const std::string& description, const std::string& footer,
                     std::function<int()> run);

void addCollectCommand(Program& program);
void addExtractCommand(Program& program);
void addScrubCommand(Program& program);
void addVerifyCommand(Program& program);
void addSandboxCommand(Program& program);
void addRegistryCommand(Program& program);
void addUploadCommand(Program& program);
void addMkdirCommand(Program& program);
void addServeCommand(Program& program);

}  // namespace cli
