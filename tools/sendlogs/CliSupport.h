// Parsing helpers shared by this program's own commands: one exit-code convention
// (0 done, 1 the operation failed, 2 the command line was wrong) and CLI11 set-up.
#pragma once

#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>

namespace cli {

enum ExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// Parses argv (argv[0] is the command's name). Returns an exit code when the program must
// stop here (help printed: 0; bad command line: 2, with the reason on stderr), nothing when
// the command should run.
inline std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        std::cerr << app.get_name() << ": " << e.what() << "\n"
                  << "Run \"" << app.get_name() << " --help\" for the options.\n";
        return kExitUsage;
    }
    return std::nullopt;
}

}  // namespace cli
