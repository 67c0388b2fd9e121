// The sendlogs program: "sendlogs <command> ..." runs one registered command; "--help" lists
// them. Each command parses its own options.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "CliSupport.h"
#include "Command.h"
#include "service/ProxyConnector.h"

namespace cli {

std::map<std::string, CommandInfo>& commandTable() {
    static std::map<std::string, CommandInfo> table;
    return table;
}

}  // namespace cli

namespace {

void printUsage(FILE* out) {
    std::fprintf(out, "Usage: sendlogs COMMAND [OPTIONS...]\n\nCommands:\n");
    for (const auto& [name, info] : cli::commandTable())
        std::fprintf(out, "  %-10s %s\n", name.c_str(), info.summary.c_str());
    std::fprintf(out,
                 "  %-10s %s\n  %-10s %s\n\n"
                 "Every command takes -q, -v, --log-file FILE and --log-level N; \"sendlogs help "
                 "COMMAND\" describes its options.\n%s\n",
                 "help", "describe a command (help COMMAND)", "version",
                 "print the program's version", cli::kExitStatusHelp);
}

int runCommand(const std::string& name, int argc, char** argv) {
    const auto it = cli::commandTable().find(name);
    if (it == cli::commandTable().end() || it->second.run == nullptr) {
        std::fprintf(stderr, "sendlogs: unknown command \"%s\"\n\n", name.c_str());
        printUsage(stderr);
        return cli::kExitUsage;
    }
    return it->second.run(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return cli::kExitUsage;
    }
    // Requests for clients behind the proxy reach them through their own services.
    service::installProxyConnector();
    const std::string command = argv[1];
    if (command == "--version" || command == "-V" || command == "version") {
        std::printf("sendlogs %s\n", SENDLOGS_VERSION);
        return cli::kExitOk;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        if (command == "help" && argc > 2) {
            char helpFlag[] = "--help";
            char* helpArgs[] = {argv[2], helpFlag, nullptr};
            return runCommand(argv[2], 2, helpArgs);
        }
        printUsage(stdout);
        return cli::kExitOk;
    }
    return runCommand(command, argc - 1, argv + 1);
}
