// The sandbox's registry tree: the focused instance's keys, two clients, installed packages
// and the ODBC subtree. Values are written to explicit paths under the sandbox's own root,
// so creating a sandbox never depends on (or changes) this process's registry settings.
#include <string>
#include <vector>

#include "SandboxParts.h"
#include "host/Registry.h"

namespace tooling {
namespace sandbox {
namespace {

class RegistryWriter {
  public:
    RegistryWriter(const std::string& root, const std::string& instance)
        : root_(root), instanceRoot_(root + "/SOFTWARE/Kestrav Systems/Orvion/" + instance) {}

    void str(const std::string& key, const std::string& name, const std::string& text) {
        host::RegValue v;
        v.type = host::RegType::String;
        v.text = text;
        put(instanceRoot_ + "/" + key + "/" + name, v);
    }
    void num(const std::string& key, const std::string& name, long long number) {
        host::RegValue v;
        v.type = host::RegType::Number;
        v.number = number;
        put(instanceRoot_ + "/" + key + "/" + name, v);
    }
    void multi(const std::string& key, const std::string& name,
               const std::vector<std::string>& strings) {
        host::RegValue v;
        v.type = host::RegType::MultiString;
        v.strings = strings;
        put(instanceRoot_ + "/" + key + "/" + name, v);
    }
    // A string under a path relative to the registry root (outside the instance).
    void absStr(const std::string& keyPath, const std::string& name, const std::string& text) {
        host::RegValue v;
        v.type = host::RegType::String;
        v.text = text;
        put(root_ + "/" + keyPath + "/" + name, v);
    }
    // The first failure, empty when every write succeeded.
    const std::string& failure() const { return failure_; }

  private:
    void put(const std::string& file, const host::RegValue& value) {
        if (!failure_.empty()) return;
        if (!host::writeRegValue(file, value)) failure_ = "cannot write registry value " + file;
    }

    std::string root_;
    std::string instanceRoot_;
    std::string failure_;
};

void writeBase(RegistryWriter& reg, const Layout& l) {
    reg.str("Base", "sProductVersion", SandboxFacts::kProductVersion);
    reg.str("Base", "dORVIONHOME", l.home);
    reg.str("Base", "dBASEHOME", l.base);
    reg.str("Base", "dORVIONTEMPDIR", l.temp);
    reg.str("Base", "dCOREDIR", l.cores);
    reg.str("Base", "sPhysicalMachine", SandboxFacts::kPhysicalMachine);
    reg.str("Base", "sClientHostName", SandboxFacts::kClientHostName);
    reg.num("Base", "nPlatformType", 2);
    reg.str("Base", "dJOBRESULTSDIR", l.jobResults);
    // A secret the registry dump must mask.
    reg.str("Base", "sWyPwdV5EncKey", "sandbox-encryption-key-0123456789");
}

void writeServices(RegistryWriter& reg, const Layout& l) {
    reg.str("EventManager", "dEVLOGDIR", l.logDir);
    reg.num("EventManager", "nDebugLevel", 6);
    reg.num("EventManager", "nLogCompLevel", 5);
    reg.num("Session", "ScrubMaxThreadCount", 2);
    reg.str("Session", "dWYSNAPCOREENABLE", "true");
    reg.num("OracleSapAgent", "nExcludeSAPLogsOlderThanNDays", 7);
    reg.num("FileSystemAgent", "nLaptopAgent", 0);
    reg.multi("FileSystemAgent", "mSIDBAccessPaths", {l.root + "/ddb/store1"});
    // Package ids of this machine; 1139 is absent, so it is not an appliance media agent.
    reg.str("InstalledPackages", "1", "File System Core");
    reg.str("InstalledPackages", "51", "MediaAgent");
}

void writeClients(RegistryWriter& reg, const Layout& l) {
    const std::string local = "Clients/" + std::to_string(SandboxFacts::kLocalClientId);
    reg.num(local, "nOsId", 1);
    reg.str(local, "dInstallDir", l.home);
    reg.str(local, "sClientName", SandboxFacts::kPhysicalMachine);

    const std::string remote = "Clients/" + std::to_string(SandboxFacts::kRemoteClientId);
    reg.num(remote, "nOsId", 49);
    reg.str(remote, "dInstallDir", "/opt/orvion");
    reg.str(remote, "sClientName", SandboxFacts::kRemoteClientName);
    // No Clients/7/sServiceAddress: the remote client is another machine's (or sandbox's)
    // service, whose address is known only once it listens. This machine asks it with the
    // sandbox's requester certificate.
    reg.str("RemoteClients", "sCAFile", l.root + "/tls/ca.pem");
    reg.str("RemoteClients", "sCertFile", l.root + "/tls/requester.pem");
    reg.str("RemoteClients", "sKeyFile", l.root + "/tls/requester.key");

    const std::string byName = std::string("Clients/") + SandboxFacts::kRemoteClientName;
    reg.str(byName, "sClientHostName",
            std::string(SandboxFacts::kRemoteClientName) + ".example.test");
    reg.str(byName, "dJobResultsDir", l.remoteClient + "/jobResults");
}

void writeOdbc(RegistryWriter& reg) {
    reg.absStr("SOFTWARE/ODBC/ODBC.INI/ODBC Data Sources", "OrvionDB", "PostgreSQL Unicode");
    reg.absStr("SOFTWARE/ODBC/ODBC.INI/OrvionDB", "Driver", "/usr/lib/odbc/psqlodbcw.so");
    reg.absStr("SOFTWARE/ODBC/ODBC.INI/OrvionDB", "Servername", "db01.example.test");
    reg.absStr("SOFTWARE/ODBC/ODBCINST.INI/PostgreSQL Unicode", "Setup",
               "/usr/lib/odbc/libodbcpsqlS.so");
}

}  // namespace

bool writeRegistry(const Layout& layout, const SandboxOptions& options, std::string& error) {
    if (!makeDirs(layout.registry, error)) return false;
    if (!writeText(layout.registry + "/CurrentInstance", options.instance, error)) return false;
    RegistryWriter reg(layout.registry, options.instance);
    writeBase(reg, layout);
    writeServices(reg, layout);
    writeClients(reg, layout);
    writeOdbc(reg);
    if (!reg.failure().empty()) {
        error = reg.failure();
        return false;
    }
    return true;
}

}  // namespace sandbox
}  // namespace tooling
