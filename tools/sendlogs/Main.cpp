// The sendlogs program: "sendlogs <command> ..." runs one registered command; "--help" lists
// them. Each command parses its own options.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

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
    std::fprintf(out, "usage: sendlogs <command> [options...]\n\ncommands:\n");
    for (const auto& [name, info] : cli::commandTable())
        std::fprintf(out, "  %-10s %s\n", name.c_str(), info.summary.c_str());
    std::fprintf(out, "\n\"sendlogs <command> --help\" describes a command's options.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    // Requests for clients behind the proxy reach them through their own services.
    service::installProxyConnector();
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(stdout);
        return 0;
    }
    const auto it = cli::commandTable().find(command);
    if (it == cli::commandTable().end() || it->second.run == nullptr) {
        std::fprintf(stderr, "sendlogs: unknown command \"%s\"\n\n", command.c_str());
        printUsage(stderr);
        return 2;
    }
    return it->second.run(argc - 1, argv + 1);
}
