// "sendlogs registry dump": writes the product's and the ODBC registry subtrees as an
// indented text tree into a folder.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "Command.h"
#include "RegistryTarget.h"
#include "diag/RegistryDump.h"

namespace {

int runRegistry(int argc, char** argv) {
    CLI::App app{"Registry tools.", "sendlogs registry"};
    app.require_subcommand(1);
    app.fallthrough();
    cli::CommonOptions common;
    cli::addCommonOptions(app, common, false);
    CLI::App* dump = app.add_subcommand(
        "dump", "Write the registry subtrees into OrvionRegistry.txt in a folder");
    cli::RegistryTarget target;
    target.addTo(*dump);
    std::string outDir;
    dump->add_option("-o,--output", outDir, "Folder for OrvionRegistry.txt (created)")->required();
    app.footer(cli::kExitStatusHelp);
    if (auto code = cli::parseCommandLine(app, argc, argv)) return *code;
    cli::applyCommonOptions(common, cli::LibraryLog::Installation);

    std::string error;
    if (!target.apply(error)) {
        cli::printError("registry: " + error);
        return cli::kExitFailed;
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        cli::printError("registry: cannot create " + outDir + ": " + ec.message());
        return cli::kExitFailed;
    }
    std::vector<std::string> files;
    int result = getOrvionRegistryInfo(outDir.c_str(), files, 0);
    if (result != 0 || files.empty()) {
        cli::printError(std::string("registry: the dump failed: ") + std::strerror(result));
        return cli::kExitFailed;
    }
    if (!common.quiet) std::printf("registry: dump written to %s\n", files.front().c_str());
    return cli::kExitOk;
}

}  // namespace

SENDLOGS_COMMAND("registry", "dump the product's registry subtrees as a text tree", runRegistry);
