// "--sandbox DIR | --registry ROOT": which registry the library reads in this process.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tooling/Sandbox.h"

namespace cli {

struct RegistryTarget {
    std::string sandbox, registry;

    void addTo(CLI::App& app) {
        auto* s = app.add_option("--sandbox", sandbox, "Sandbox folder to run against")
                      ->check(CLI::ExistingDirectory);
        auto* r = app.add_option("--registry", registry, "Registry root to use")
                      ->check(CLI::ExistingDirectory);
        s->excludes(r);
    }

    // Points the registry reads at the sandbox or root; without either, the environment
    // and the default root apply. Call before any thread starts.
    bool apply(std::string& error) const {
        if (!sandbox.empty()) return tooling::useSandbox(sandbox, "", error);
        if (!registry.empty()) {
            std::error_code ec;
            const std::string root =
                std::filesystem::absolute(registry, ec).lexically_normal().string();
            ::setenv("ORVION_REGISTRY_ROOT", root.c_str(), 1);
        }
        return true;
    }
};

}  // namespace cli
