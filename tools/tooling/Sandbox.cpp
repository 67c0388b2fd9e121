// Sandbox creation: checks the target folder, writes the pieces in turn and the environment
// file; and the helper that points this process at a sandbox.
#include "Sandbox.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "LogGenerator.h"
#include "SandboxDiagnostics.h"
#include "SandboxParts.h"
#include "host/Process.h"

namespace fs = std::filesystem;

namespace tooling {
namespace sandbox {

Layout::Layout(const std::string& dir)
    : root(dir),
      registry(dir + "/registry"),
      home(dir + "/home"),
      base(dir + "/base"),
      temp(dir + "/tmp"),
      cores(dir + "/cores"),
      jobResults(dir + "/jobResults"),
      logDir(dir + "/Log_Files"),
      remoteClient(dir + "/remote/client07") {}

bool makeDirs(const std::string& path, std::string& error) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        error = "cannot create folder " + path + ": " + ec.message();
        return false;
    }
    return true;
}

bool writeText(const std::string& path, const std::string& text, std::string& error) {
    if (!makeDirs(fs::path(path).parent_path().string(), error)) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int savedErrno = errno;
    if (std::fclose(f) != 0 || !written) {
        error = "cannot write " + path + ": " + std::strerror(written ? errno : savedErrno);
        return false;
    }
    return true;
}

bool writeExecutable(const std::string& path, const std::string& text, std::string& error) {
    if (!writeText(path, text, error)) return false;
    if (::chmod(path.c_str(), 0755) != 0) {
        error = "cannot make " + path + " executable: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace sandbox

namespace {

// The product keeps the log directory's parent in a 128-byte buffer and composes its paths
// in 1024-byte buffers; a longer sandbox folder would not fit them.
constexpr size_t kMaxSandboxPath = 100;

bool prepareFolder(const std::string& dir, std::string& error) {
    std::error_code ec;
    if (fs::exists(dir, ec)) {
        if (!fs::is_directory(dir, ec)) {
            error = dir + " exists and is not a folder";
            return false;
        }
        if (!fs::is_empty(dir, ec) || ec) {
            error = dir + " is not empty; choose a new or empty folder";
            return false;
        }
        return true;
    }
    return sandbox::makeDirs(dir, error);
}

bool generateLogs(const sandbox::Layout& l, const SandboxOptions& options, std::string& error) {
    LogGenOptions logs;
    logs.seed = options.seed;
    logs.machine = SandboxFacts::kPhysicalMachine;
    logs.targetBytes = options.logBytes;
    logs.jobIds = SandboxFacts::jobIds();
    if (!generateLogDirectory(l.logDir, logs, error)) return false;
    // The services' lock files, which a log bundle leaves out.
    return sandbox::writeText(l.logDir + "/locks/wyd.lock", "25104\n", error);
}

bool writeEnvFile(const sandbox::Layout& l, const SandboxOptions& options, std::string& error) {
    std::ostringstream env;
    env << "# Points the product's tools at this sandbox: . " << host::shellQuote(l.root)
        << "/sandbox.env\n"
        << "export ORVION_REGISTRY_ROOT=" << host::shellQuote(l.registry) << "\n"
        << "export ORVION_INSTANCE=" << host::shellQuote(options.instance) << "\n"
        << "export PATH=" << host::shellQuote(l.root + "/bin") << ":\"$PATH\"\n"
        << "# The library logs to <log dir>/SendLogFiles.log; to send it elsewhere:\n"
        << "# export SENDLOGS_LOG_FILE=" << host::shellQuote(l.temp + "/SendLogFiles.log") << "\n";
    return sandbox::writeText(l.root + "/sandbox.env", env.str(), error);
}

std::string absoluteFolder(const std::string& dir) {
    std::error_code ec;
    std::string out = fs::absolute(dir, ec).lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

}  // namespace

bool createSandbox(const std::string& dir, const SandboxOptions& options, std::string& error) {
    if (dir.empty()) {
        error = "no sandbox folder given";
        return false;
    }
    if (options.instance.empty() || options.instance.find('/') != std::string::npos) {
        error = "invalid instance name [" + options.instance + "]";
        return false;
    }
    const std::string root = absoluteFolder(dir);
    if (root.size() > kMaxSandboxPath) {
        error = "sandbox folder " + root + " is longer than " + std::to_string(kMaxSandboxPath) +
                " characters; the product's path buffers would not hold its paths";
        return false;
    }
    if (!prepareFolder(root, error)) return false;
    const sandbox::Layout layout(root);
    return sandbox::writeRegistry(layout, options, error) &&
           sandbox::writeInstallationFiles(layout, error) &&
           sandbox::writeToolStandIns(layout, error) &&
           sandbox::writeDiagnosticsMaterial(layout, error) &&
           generateLogs(layout, options, error) && writeEnvFile(layout, options, error) &&
           sandbox::writeTlsFiles(layout, error);
}

std::string sandboxRegistryRoot(const std::string& dir) {
    return sandbox::Layout(absoluteFolder(dir)).registry;
}

std::string sandboxLogDir(const std::string& dir) {
    return sandbox::Layout(absoluteFolder(dir)).logDir;
}

std::string sandboxInstance(const std::string& dir) {
    std::ifstream in(sandboxRegistryRoot(dir) + "/CurrentInstance");
    std::string name;
    std::getline(in, name);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
    return name.empty() ? "Instance001" : name;
}

bool useSandbox(const std::string& dir, const std::string& logFile, std::string& error) {
    const std::string registry = sandboxRegistryRoot(dir);
    std::error_code ec;
    if (!fs::is_directory(registry, ec)) {
        error = dir + " holds no sandbox (no folder " + registry + ")";
        return false;
    }
    ::setenv("ORVION_REGISTRY_ROOT", registry.c_str(), 1);
    ::setenv("ORVION_INSTANCE", sandboxInstance(dir).c_str(), 1);
    // The stand-ins of programs the library finds through PATH come first.
    const std::string programs = sandboxProgramDir(dir);
    const char* path = ::getenv("PATH");
    const std::string current = path ? path : "/usr/bin:/bin";
    if (current.compare(0, programs.size() + 1, programs + ":") != 0)
        ::setenv("PATH", (programs + ":" + current).c_str(), 1);
    if (!logFile.empty()) {
        ::setenv("SENDLOGS_LOG_FILE", logFile.c_str(), 1);
    }
    return true;
}

}  // namespace tooling
