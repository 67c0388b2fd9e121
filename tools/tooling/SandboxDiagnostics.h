// The sandbox's material for the diagnostics and application steps, and the registry
// switches that turn those steps on (docs/sandbox.md lists them).
#pragma once

#include <string>
#include <vector>

namespace tooling {

// The cases a sandbox can be switched into: "media-agent", "sybase", "appliance",
// "failover", "osc".
const std::vector<std::string>& sandboxCases();
// Writes the registry values (and, for "osc", the file) that turn a case on. False with a
// reason for an unknown case or a failed write.
bool enableSandboxCase(const std::string& dir, const std::string& name, std::string& error);

// Folder of the sandbox's stand-ins for programs found through PATH ("sosreport", "python").
std::string sandboxProgramDir(const std::string& dir);

namespace sandbox {
struct Layout;
// Core files, tool stand-ins and application folders; the steps stay off until a case is
// enabled.
bool writeDiagnosticsMaterial(const Layout& layout, std::string& error);
// A small ELF core file that "file" reports as a core of program run as commandLine.
std::string elfCoreFile(const std::string& program, const std::string& commandLine);
}  // namespace sandbox

}  // namespace tooling
