#include "host/Applications.h"

#include <algorithm>
#include <cstdlib>

#include "host/Registry.h"

namespace {

long long numberOrZero(WYPlatformInfo& info, const std::string& key, const char* value) {
    long number = 0;
    return info.getNumber(key.c_str(), value, number) ? number : 0;
}

// The id of the client that is this physical machine; 0 when none is recorded.
unsigned long thisMachineClientId(WYPlatformInfo& info) {
    const char* self = info.getPhysicalMachine();
    std::vector<std::string> clients;
    if (self == nullptr ||
        !info.getRegSubKeysFromAbsPath(
            "SOFTWARE/Kestrav Systems/Orvion/" + info.focus() + "/Clients", clients))
        return 0;
    for (const std::string& id : clients) {
        std::string name;
        char* end = nullptr;
        const unsigned long number = std::strtoul(id.c_str(), &end, 10);
        if (*end == '\0' && info.getString(("Clients/" + id).c_str(), "sClientName", name) &&
            name == self)
            return number;
    }
    return 0;
}

}  // namespace

int ClientApplicationList::getInstanceList(unsigned long clientId, int appType,
                                           std::vector<unsigned long>& ids,
                                           std::vector<std::string>& names, void* /*reserved*/,
                                           int /*flags*/) {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    if (clientId == 0) clientId = thisMachineClientId(info);
    std::vector<std::string> keys;
    if (!info.getRegSubKeysFromAbsPath(
            "SOFTWARE/Kestrav Systems/Orvion/" + info.focus() + "/Applications", keys))
        return 0;  // no application recorded at all
    std::vector<std::pair<unsigned long, std::string>> found;
    for (const std::string& id : keys) {
        char* end = nullptr;
        const unsigned long number = std::strtoul(id.c_str(), &end, 10);
        const std::string key = "Applications/" + id;
        if (*end != '\0' || id.empty() || numberOrZero(info, key, "nAppType") != appType ||
            static_cast<unsigned long>(numberOrZero(info, key, "nClientId")) != clientId)
            continue;
        std::string name;
        info.getString(key.c_str(), "sInstanceName", name);
        found.emplace_back(number, name);
    }
    std::sort(found.begin(), found.end());
    for (const auto& instance : found) {
        ids.push_back(instance.first);
        names.push_back(instance.second);
    }
    return 0;
}

SybaseInstance::SybaseInstance(unsigned long instanceId) {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    const std::string key = "Applications/" + std::to_string(instanceId);
    info.getString(key.c_str(), "dSybaseHome", home_);
    info.getString(key.c_str(), "sSybaseASE", ase_);
}
