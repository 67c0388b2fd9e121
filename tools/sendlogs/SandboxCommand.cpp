// "sendlogs sandbox create DIR": writes a small complete product installation into DIR.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "Command.h"
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

int runSandbox(int argc, char** argv) {
    CLI::App app{"Sandbox installations for demos and tests.", "sendlogs sandbox"};
    app.require_subcommand(1, 1);
    app.fallthrough();
    cli::CommonOptions common;
    cli::addCommonOptions(app, common);
    CLI::App* create = app.add_subcommand(
        "create",
        "Write a complete small product installation (registry, logs, job results, "
        "certificates, cores, tool stand-ins) into DIR.");
    std::string dir;
    unsigned sizeMb = 4;
    uint64_t seed = 1;
    create->add_option("DIR", dir, "New or empty folder for the sandbox (its parent must exist)")
        ->required();
    create->add_option("--size-mb", sizeMb, "Approximate size of the generated logs (MiB)")
        ->check(cli::wholeNumber(1, 4096));
    create->add_option("--seed", seed, "Seed of the log generator (same seed, same logs)")
        ->check(cli::wholeNumber(0, cli::kMaxId));
    CLI::App* enable = app.add_subcommand(
        "enable", "Turn on the registry switches of diagnostics cases in the sandbox DIR.");
    std::string enableDir;
    std::vector<std::string> cases;
    enable->add_option("DIR", enableDir, "Sandbox folder")->required();
    enable->add_option("CASE", cases, "Cases to turn on")
        ->required()
        ->check(CLI::IsMember(tooling::sandboxCases()));
    app.footer(std::string(cli::kExitStatusHelp) +
               "\nExample:\n  sendlogs sandbox create sb --size-mb 64");
    if (auto code = cli::parseCommandLine(app, argc, argv)) return *code;

    if (enable->parsed()) return enableCases(enableDir, cases, common.quiet);
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
    options.logBytes = static_cast<uint64_t>(sizeMb) << 20;
    options.seed = seed;
    std::string error;
    if (!tooling::createSandbox(dir, options, error)) {
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

SENDLOGS_COMMAND("sandbox",
                 "create a sandbox product installation (sandbox create DIR), turn on cases "
                 "(sandbox enable DIR CASE...)",
                 runSandbox);
