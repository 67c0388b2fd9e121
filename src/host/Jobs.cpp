// Job results directories of this machine and of the clients it knows.
#include "host/Jobs.h"

#include <cstring>

#include "host/Log.h"
#include "host/Registry.h"

namespace {

// A client name is one registry key component.
bool validClientName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos;
}

std::string readString(const std::string& instance, const std::string& key, const char* value) {
    WYPlatformInfo info;
    info.setFocus(instance.c_str());
    std::string text;
    info.getString(key.c_str(), value, text);
    return text;
}

}  // namespace

void WYPI_CommClient::setFocus(const char* instance) {
    instance_ = instance ? instance : "";
}

std::string WYPI_CommClient::getJobResultsDirectory(const char* machine) {
    std::string instance = instance_.empty() ? host::currentInstance() : instance_;
    std::string self = readString(instance, "Base", "sPhysicalMachine");
    if (!machine || !*machine || self == machine)
        return readString(instance, "Base", "dJOBRESULTSDIR");
    if (!validClientName(machine)) return std::string();
    return readString(instance, std::string("Clients/") + machine, "dJobResultsDir");
}

bool WYPI_CommClient::getJobResultsDirectory(const char* machine, char* dir, char* extra1,
                                             char* extra2, int size) {
    for (char* buffer : {dir, extra1, extra2})
        if (buffer && size > 0) buffer[0] = '\0';
    if (!dir || size <= 0) return false;
    std::string path = getJobResultsDirectory(machine);
    if (path.empty()) return false;
    if (path.size() > static_cast<size_t>(size - 1)) {
        EvDebug log;
        log.Error("WYPI_CommClient::getJobResultsDirectory",
                  "Job results directory of [%s] is %zu bytes, more than the %d-byte buffer",
                  machine ? machine : "", path.size(), size);
        return false;
    }
    std::memcpy(dir, path.c_str(), path.size() + 1);
    return true;
}

namespace host {

std::string thisMachineJobResultsDirectory(std::string& machine) {
    WYPlatformInfo platform;
    platform.setFocus(WYPI_Focus::getFocus());
    const char* name = platform.getPhysicalMachine();
    machine = name ? name : "";
    if (machine.empty()) return std::string();
    WYPI_CommClient client;
    client.setFocus(WYPI_Focus::getFocus());
    const int kSize = 1024;
    char dir[kSize] = "", extra1[kSize] = "", extra2[kSize] = "";
    if (!client.getJobResultsDirectory(machine.c_str(), dir, extra1, extra2, kSize))
        return std::string();
    return dir;
}

}  // namespace host
