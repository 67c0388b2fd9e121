// Pieces of sandbox creation, one file each: the registry tree, the files of the
// installation and the stand-in tools. Internal to the tooling library.
#pragma once

#include <string>

#include "Sandbox.h"

namespace tooling {
namespace sandbox {

// Absolute folders of one sandbox.
struct Layout {
    std::string root;  // the sandbox folder itself
    std::string registry, home, base, temp, cores, jobResults, logDir, remoteClient;
    explicit Layout(const std::string& dir);
};

// Small file helpers: false with "action path: reason" in error.
bool makeDirs(const std::string& path, std::string& error);
bool writeText(const std::string& path, const std::string& text, std::string& error);
bool writeExecutable(const std::string& path, const std::string& text, std::string& error);

bool writeRegistry(const Layout& layout, const SandboxOptions& options, std::string& error);
bool writeInstallationFiles(const Layout& layout, std::string& error);
bool writeToolStandIns(const Layout& layout, std::string& error);
bool writeTlsFiles(const Layout& layout, std::string& error);  // SandboxTls.h

}  // namespace sandbox
}  // namespace tooling
