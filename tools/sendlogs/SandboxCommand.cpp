// "sendlogs sandbox create DIR": writes a small complete product installation into DIR.
#include <cstdio>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "Command.h"
#include "tooling/Sandbox.h"
#include "tooling/SandboxDiagnostics.h"

namespace {

int enableCases(const std::string& dir, const std::vector<std::string>& cases) {
    for (const std::string& name : cases) {
        std::string error;
        if (!tooling::enableSandboxCase(dir, name, error)) {
            std::fprintf(stderr, "sandbox: cannot enable %s: %s\n", name.c_str(), error.c_str());
            return cli::kExitFailed;
        }
        std::printf("enabled %s in %s\n", name.c_str(), dir.c_str());
    }
    return cli::kExitOk;
}

int runSandbox(int argc, char** argv) {
    CLI::App app{"Sandbox installations for demos and tests.", "sendlogs sandbox"};
    app.require_subcommand(1, 1);
    CLI::App* create = app.add_subcommand(
        "create",
        "Write a complete small product installation (registry, logs, job results, "
        "certificates, cores, tool stand-ins) into DIR.");
    std::string dir;
    unsigned sizeMb = 4;
    uint64_t seed = 1;
    create->add_option("DIR", dir, "New or empty folder for the sandbox")->required();
    create->add_option("--size-mb", sizeMb, "Approximate size of the generated logs (MiB)")
        ->check(CLI::Range(1u, 4096u));
    create->add_option("--seed", seed, "Seed of the log generator (same seed, same logs)");
    CLI::App* enable = app.add_subcommand(
        "enable", "Turn on the registry switches of diagnostics cases in the sandbox DIR.");
    std::string enableDir;
    std::vector<std::string> cases;
    enable->add_option("DIR", enableDir, "Sandbox folder")->required();
    enable->add_option("CASE", cases, "Cases to turn on")
        ->required()
        ->check(CLI::IsMember(tooling::sandboxCases()));
    if (auto code = cli::parseCommandLine(app, argc, argv)) return *code;

    if (enable->parsed()) return enableCases(enableDir, cases);
    tooling::SandboxOptions options;
    options.logBytes = static_cast<uint64_t>(sizeMb) << 20;
    options.seed = seed;
    std::string error;
    if (!tooling::createSandbox(dir, options, error)) {
        std::fprintf(stderr, "sandbox: cannot create the sandbox: %s\n", error.c_str());
        return cli::kExitFailed;
    }
    std::printf("sandbox created in %s\nregistry: %s (instance %s)\nlogs: %s\n", dir.c_str(),
                tooling::sandboxRegistryRoot(dir).c_str(), tooling::sandboxInstance(dir).c_str(),
                tooling::sandboxLogDir(dir).c_str());
    return cli::kExitOk;
}

}  // namespace

SENDLOGS_COMMAND("sandbox",
                 "create a sandbox product installation (sandbox create DIR), turn on cases "
                 "(sandbox enable DIR CASE...)",
                 runSandbox);
