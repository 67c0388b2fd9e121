// A complete small product installation in one folder, for the program's demo runs, the tests
// and the benchmarks: registry tree, home and base folders, generated product logs, job
// results, certificates, a core directory and stand-ins for the product's external tools.
// Nothing outside the folder (and the system's temporary directory) is touched; nothing
// needs root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tooling {

struct SandboxOptions {
    uint64_t logBytes = 4 << 20;  // approximate size of the generated log directory
    uint64_t seed = 1;            // same seed, same log bytes
    std::string instance = "Instance001";
};

// Fixed facts of every sandbox, for the tests that check what a request collected.
struct SandboxFacts {
    static constexpr const char* kProductVersion = "11.32.4";
    static constexpr const char* kPhysicalMachine = "client01";
    static constexpr const char* kClientHostName = "client01.example.test";
    static constexpr unsigned kLocalClientId = 2;   // this machine (nOsId 1)
    static constexpr unsigned kRemoteClientId = 7;  // served through the proxy (nOsId 49)
    static constexpr const char* kRemoteClientName = "client07";
    static constexpr long long kBackupJob = 1001;   // the job with a "backup.out" result
    static constexpr long long kRestoreJob = 1003;  // the job with a "restore.out" result
    static constexpr const char* kPrivateKeyName = "client_key.pem";
    // Text inside the private key file: must never appear in anything collected.
    static constexpr const char* kPrivateKeyMarker = "SANDBOX-PRIVATE-KEY-NEVER-COLLECT";
    static std::vector<long long> jobIds() { return {1001, 1002, 1003, 1004}; }
};

// Creates the installation under dir (created when missing; an existing folder must be
// empty). False with a reason on failure; a half-built folder is left for inspection.
bool createSandbox(const std::string& dir, const SandboxOptions& options, std::string& error);

// Paths inside a sandbox (dir as given to createSandbox).
std::string sandboxRegistryRoot(const std::string& dir);
std::string sandboxLogDir(const std::string& dir);
// The sandbox's current instance (its registry's CurrentInstance), "Instance001" when unset.
std::string sandboxInstance(const std::string& dir);

// Points this process's registry reads at the sandbox: sets ORVION_REGISTRY_ROOT and
// ORVION_INSTANCE, puts the sandbox's program stand-ins first on PATH and, when logFile is
// not empty, sets SENDLOGS_LOG_FILE (the library's log file).
// Call before any thread starts. False with a reason when dir holds no sandbox.
bool useSandbox(const std::string& dir, const std::string& logFile, std::string& error);

}  // namespace tooling
