// "sendlogs registry dump": writes the product's and the ODBC registry subtrees as an
// indented text tree into a folder.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "Commands.h"
#include "RegistryTarget.h"
#include "diag/RegistryDump.h"

namespace {

struct DumpOptions {
    cli::RegistryTarget target;
    std::string outDir;
};

int runDump(const DumpOptions& o, const cli::CommonOptions& common) {
    const cli::RegistryTarget& target = o.target;
    const std::string& outDir = o.outDir;
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

namespace cli {

void addRegistryCommand(Program& program) {
    CLI::App* registry = program.app.add_subcommand(
        "registry", "dump the product's registry subtrees as a text tree\nRegistry tools.");
    registry->require_subcommand(1, 1);
    registry->footer(std::string(kGlobalOptionsHelp) + "\n" + kExitStatusHelp);
    auto o = std::make_shared<DumpOptions>();
    CLI::App* dump = addCommand(
        program, *registry, "dump",
        "Writes the registry subtrees into OrvionRegistry.txt in a folder.",
        std::string(kExitStatusHelp) + "\nExample:\n  sendlogs registry dump --sandbox sb -o dump",
        [o, &common = program.common] { return runDump(*o, common); });
    o->target.addTo(*dump);
    dump->add_option("-o,--output", o->outDir, "Folder for OrvionRegistry.txt (created)")
        ->required();
}

}  // namespace cli
