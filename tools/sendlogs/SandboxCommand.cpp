// "sendlogs sandbox create DIR": writes a small complete product installation into DIR.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "Commands.h"
#include "Interrupt.h"
#include "tooling/Sandbox.h"
#include "tooling/SandboxDiagnostics.h"

namespace {

int enableCases(const std::string& dir, const std::vector<std::string>& cases, bool quiet) {
    for (const std::string& name : cases) {
        std::string error;
        if (!tooling::enableSandboxCase(dir, name, error)) {
            cli::printError("sandbox: cannot enable " + name + ": " + error);
            return cli::kExitFailed;
        }
        if (!quiet) std::printf("enabled %s in %s\n", name.c_str(), dir.c_str());
    }
    return cli::kExitOk;
}

struct CreateOptions {
    std::string dir;
    unsigned sizeMb = 4;
    uint64_t seed = 1;
};

int runCreate(const CreateOptions& o, const cli::CommonOptions& common) {
    const std::string& dir = o.dir;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path parent = fs::absolute(dir, ec).lexically_normal().parent_path();
    if (!fs::is_directory(parent, ec))
        return cli::usageError("sandbox: " + parent.string() + " does not exist; create it first");
    const bool existed = fs::exists(dir, ec);
    // A stop signal takes a sandbox this command began with it.
    cli::InterruptGuard interrupt(
        [dir, existed] {
            std::error_code ignored;
            if (!existed) fs::remove_all(dir, ignored);
        },
        cli::InterruptGuard::Stop::Exit);
    const auto started = std::chrono::steady_clock::now();
    tooling::SandboxOptions options;
    options.logBytes = static_cast<uint64_t>(o.sizeMb) << 20;
    options.seed = o.seed;
    std::string error;
    std::optional<cli::WrittenBytesProgress> progress;
    progress.emplace("sandbox", cli::wantProgress(common, false));
    const bool created = tooling::createSandbox(dir, options, error);
    progress.reset();
    if (!created) {
        cli::printError("sandbox: cannot create the sandbox: " + error);
        return cli::kExitFailed;
    }
    if (!common.quiet && !common.json)
        std::printf("registry: %s (instance %s)\nlogs: %s\n",
                    tooling::sandboxRegistryRoot(dir).c_str(),
                    tooling::sandboxInstance(dir).c_str(), tooling::sandboxLogDir(dir).c_str());
    cli::Summary summary;
    summary.command = "sandbox";
    summary.bytes = static_cast<long long>(options.logBytes);
    summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    summary.output = dir;
    cli::printSummary(summary, common);
    return cli::kExitOk;
}

}  // namespace

namespace cli {

void addSandboxCommand(Program& program) {
    CLI::App* sandbox = program.app.add_subcommand(
        "sandbox",
        "create a sandbox product installation (sandbox create DIR), turn on cases (sandbox "
        "enable DIR CASE...)\n"
        "Sandbox installations for demos and tests.");
    sandbox->require_subcommand(1, 1);
    sandbox->footer(std::string(kGlobalOptionsHelp) + "\n" + kExitStatusHelp +
                    "\nExample:\n  sendlogs sandbox create sb --size-mb 64");
    addJsonOption(*sandbox, program.common);

    auto create = std::make_shared<CreateOptions>();
    CLI::App* app = addCommand(
        program, *sandbox, "create",
        "Writes a complete small product installation (registry, logs, job results, "
        "certificates, cores, tool stand-ins) into DIR.",
        std::string(kExitStatusHelp) + "\nExample:\n  sendlogs sandbox create sb --size-mb 64",
        [create, &common = program.common] { return runCreate(*create, common); });
    app->add_option("DIR", create->dir,
                    "New or empty folder for the sandbox (its parent must exist)")
        ->required();
    app->add_option("--size-mb", create->sizeMb, "Approximate size of the generated logs (MiB)")
        ->check(wholeNumber(1, 4096));
    app->add_option("--seed", create->seed, "Seed of the log generator (same seed, same logs)")
        ->check(wholeNumber(0, kMaxId));

    struct EnableOptions {
        std::string dir;
        std::vector<std::string> cases;
    };
    auto enable = std::make_shared<EnableOptions>();
    app = addCommand(program, *sandbox, "enable",
                     "Turns on the registry switches of diagnostics cases in the sandbox DIR.",
                     kExitStatusHelp, [enable, &common = program.common] {
                         return enableCases(enable->dir, enable->cases, common.quiet);
                     });
    app->add_option("DIR", enable->dir, "Sandbox folder")->required();
    app->add_option("CASE", enable->cases, "Cases to turn on")
        ->required()
        ->check(CLI::IsMember(tooling::sandboxCases()));
}

}  // namespace cli
