// The platform views over the registry. Every read goes to the value file, so a change made
// between two requests is seen by the next one; a view only keeps the text it handed out.
#include <arpa/inet.h>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/Log.h"
#include "host/Registry.h"

namespace {

bool readFocused(const std::string& instance, const char* key, const char* value,
                 host::RegValue& out) {
    if (!key || !value || !*value || std::strchr(value, '/')) return false;
    std::string keyPath = host::registryKeyPath(instance, key);
    if (keyPath.empty()) return false;
    return host::readRegValue(keyPath + "/" + value, out);
}

// The value as text: strings as they are, numbers in decimal; multi-strings have no single text.
bool asText(const host::RegValue& v, std::string& out) {
    switch (v.type) {
        case host::RegType::String:
        case host::RegType::ExpandString:
            out = v.text;
            return true;
        case host::RegType::Number:
        case host::RegType::DWordBigEndian:
        case host::RegType::QWord:
            out = std::to_string(v.number);
            return true;
        case host::RegType::MultiString:
        case host::RegType::Raw:
            return false;
    }
    return false;
}

bool asNumber(const host::RegValue& v, long long& out) {
    if (v.type == host::RegType::Number || v.type == host::RegType::DWordBigEndian ||
        v.type == host::RegType::QWord) {
        out = v.number;
        return true;
    }
    if (v.type != host::RegType::String) return false;
    const char* text = v.text.c_str();
    while (*text == ' ' || *text == '\t') ++text;
    if (!*text) return false;
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text, &end, 10);
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
    if (errno == ERANGE || *end != '\0') return false;
    out = parsed;
    return true;
}

// Names of the entries of dir that are folders (wantFolders) or regular files, sorted.
// Names beginning with "." are the store's own temporary files and are skipped.
bool listEntries(const std::string& dir, bool wantFolders, std::vector<std::string>& out) {
    if (dir.empty()) return false;
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    while (struct dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        struct stat st;
        std::string path = dir + "/" + e->d_name;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (wantFolders ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) out.push_back(e->d_name);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return true;
}

}  // namespace

const char* WYPI_Focus::getFocus() {
    // Valid until this thread asks again.
    static thread_local std::string focus;
    focus = host::currentInstance();
    return focus.c_str();
}

WYPlatformInfo::WYPlatformInfo() : instance_(host::currentInstance()) {}

void WYPlatformInfo::setFocus(const char* instance) {
    instance_ = (instance && *instance) ? instance : host::currentInstance();
}

int WYPlatformInfo::getString(const char* key, const char* value, char* buffer, int& size) {
    int capacity = size;
    size = 0;
    if (!buffer || capacity <= 0) return 0;
    buffer[0] = '\0';
    host::RegValue v;
    std::string text;
    if (!readFocused(instance_, key, value, v) || !asText(v, text)) return 0;
    if (text.size() > static_cast<size_t>(capacity - 1)) {
        EvDebug log;
        log.Error("WYPlatformInfo::getString",
                  "Registry value [%s/%s] holds %zu bytes, more than the %d-byte buffer; not read",
                  key, value, text.size(), capacity);
        return 0;
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    size = static_cast<int>(text.size());
    return 1;
}

int WYPlatformInfo::getString(const char* key, const char* value, std::string& out) {
    host::RegValue v;
    std::string text;
    if (!readFocused(instance_, key, value, v) || !asText(v, text)) return 0;
    out = std::move(text);
    return 1;
}

int WYPlatformInfo::getNumber(const char* key, const char* value, long& out) {
    host::RegValue v;
    long long number = 0;
    if (!readFocused(instance_, key, value, v) || !asNumber(v, number)) return 0;
    if (number < LONG_MIN || number > LONG_MAX) return 0;
    out = static_cast<long>(number);
    return 1;
}

int WYPlatformInfo::getNumber(const char* key, const char* value, unsigned long& out) {
    host::RegValue v;
    long long number = 0;
    if (!readFocused(instance_, key, value, v) || !asNumber(v, number)) return 0;
    if (number < 0) {
        EvDebug log;
        log.Error("WYPlatformInfo::getNumber", "Registry value [%s/%s] is negative (%lld)", key,
                  value, number);
        return 0;
    }
    out = static_cast<unsigned long>(number);
    return 1;
}

int WYPlatformInfo::getRegValue(const std::string& absPath, const std::string& value,
                                host::RegValue& out) {
    std::string key = host::registryAbsPath(absPath);
    if (key.empty() || value.empty() || value.find('/') != std::string::npos) return 0;
    return host::readRegValue(key + "/" + value, out) ? 1 : 0;
}

int WYPlatformInfo::getRegValue(const std::string& absPath, const std::string& value, int& type,
                                char* buffer, int& size) {
    lastError_ = 0;
    host::RegValue v;
    if (!getRegValue(absPath, value, v)) {
        lastError_ = -1;
        return 0;
    }
    std::string data;
    switch (v.type) {
        case host::RegType::String:
            type = 1;
            data = v.text + '\0';
            break;
        case host::RegType::Number:
            if (v.number >= INT32_MIN && v.number <= INT32_MAX) {
                type = 4;
                int32_t n = static_cast<int32_t>(v.number);
                data.assign(reinterpret_cast<const char*>(&n), sizeof n);
            } else {
                type = 11;
                int64_t n = v.number;
                data.assign(reinterpret_cast<const char*>(&n), sizeof n);
            }
            break;
        case host::RegType::MultiString:
            type = 7;
            // An empty list has no bytes at all, not a lone terminator.
            for (const auto& item : v.strings) data += item + '\0';
            if (!v.strings.empty()) data += '\0';
            break;
        case host::RegType::ExpandString:
            type = 2;
            data = v.text + '\0';
            break;
        case host::RegType::DWordBigEndian: {
            type = 5;
            uint32_t n = htonl(static_cast<uint32_t>(v.number));
            data.assign(reinterpret_cast<const char*>(&n), sizeof n);
            break;
        }
        case host::RegType::QWord: {
            type = 11;
            int64_t n = v.number;
            data.assign(reinterpret_cast<const char*>(&n), sizeof n);
            break;
        }
        case host::RegType::Raw:
            type = v.rawType;
            data = v.bytes;
            break;
    }
    if (data.size() > static_cast<size_t>(INT_MAX)) {
        lastError_ = -1;
        return 0;
    }
    if (!buffer || size < 0 || data.size() > static_cast<size_t>(size)) {
        size = static_cast<int>(data.size());
        lastError_ = kRegBufferTooSmall;
        return 0;
    }
    std::memcpy(buffer, data.data(), data.size());
    size = static_cast<int>(data.size());
    return 1;
}

void FromMultiSZStringToSet(const char* data, int length, std::set<std::string>& out) {
    if (!data) return;
    int start = 0;
    for (int i = 0; i < length; ++i) {
        if (data[i] != '\0') continue;
        if (i > start) out.insert(std::string(data + start, static_cast<size_t>(i - start)));
        start = i + 1;
    }
    if (start < length) out.insert(std::string(data + start, static_cast<size_t>(length - start)));
}

int WYPlatformInfo::getRegValues(const std::string& absPath,
                                 std::map<std::string, host::RegValue>& out) {
    std::vector<std::string> names;
    std::string key = host::registryAbsPath(absPath);
    if (!listEntries(key, false, names)) return 0;
    out.clear();
    for (const auto& name : names) {
        host::RegValue v;
        if (host::readRegValue(key + "/" + name, v)) out[name] = std::move(v);
    }
    return 1;
}

int WYPlatformInfo::getRegSubKeysFromAbsPath(const std::string& absPath,
                                             std::vector<std::string>& out) {
    std::vector<std::string> names;
    if (!listEntries(host::registryAbsPath(absPath), true, names)) return 0;
    out = std::move(names);
    return 1;
}

const char* WYPlatformInfo::getPhysicalMachine() {
    std::string name;
    if (!getString("Base", "sPhysicalMachine", name) || name.empty()) return nullptr;
    physicalMachine_ = std::move(name);
    return physicalMachine_.c_str();
}

std::string WYPlatformInfo::getClientHostName(const char* client) {
    std::string name;
    const char* self = getPhysicalMachine();
    if (!client || !*client || (self && std::strcmp(client, self) == 0)) {
        getString("Base", "sClientHostName", name);
        return name;
    }
    if (std::strchr(client, '/') || std::strchr(client, '\\')) return std::string();
    std::string key = std::string("Clients/") + client;
    getString(key.c_str(), "sClientHostName", name);
    return name;
}

uint64_t WYPlatformInfo::getWYPlatformType() {
    long type = 0;
    return getNumber("Base", "nPlatformType", type) ? static_cast<uint64_t>(type) : 0;
}

int WYPlatformInfo::GetListOfInstalledPackages(std::vector<int>& ids) {
    std::vector<std::string> names;
    if (!listEntries(host::registryKeyPath(instance_, "InstalledPackages"), false, names)) return 1;
    ids.clear();
    for (const auto& name : names) {
        char* end = nullptr;
        long id = std::strtol(name.c_str(), &end, 10);
        if (*end == '\0' && id >= 0 && id <= INT_MAX) ids.push_back(static_cast<int>(id));
    }
    return 0;
}

WYPI_Base::WYPI_Base() : instance_(host::currentInstance()) {}

void WYPI_Base::setFocus(const char* instance) {
    instance_ = (instance && *instance) ? instance : host::currentInstance();
}

const char* WYPI_Base::cached(const char* key, const char* value, std::string& slot) {
    host::RegValue v;
    std::string text;
    if (!readFocused(instance_, key, value, v) || !asText(v, text) || text.empty()) return nullptr;
    slot = std::move(text);
    return slot.c_str();
}

const char* WYPI_Base::getVersion() {
    return cached("Base", "sProductVersion", version_);
}
const char* WYPI_Base::getHomeDirectory() {
    return cached("Base", "dORVIONHOME", home_);
}
const char* WYPI_Base::getOrvionTempDirectory() {
    return cached("Base", "dORVIONTEMPDIR", temp_);
}
const char* WYPI_PlatformBase::getLogFilesDirectory() {
    return cached("EventManager", "dEVLOGDIR", logDir_);
}
const char* WYPI_PlatformBase::getBaseHomeDirectory() {
    return cached("Base", "dBASEHOME", baseHome_);
}

int WYPI_FileSystemAgent::getAllSIDBAccessPath(std::vector<std::string>& paths) {
    host::RegValue v;
    if (!readFocused(instance_, "FileSystemAgent", "mSIDBAccessPaths", v)) return 1;
    paths.clear();
    if (v.type == host::RegType::MultiString) {
        for (const auto& path : v.strings)
            if (!path.empty()) paths.push_back(path);
    } else if (v.type == host::RegType::String && !v.text.empty()) {
        paths.push_back(v.text);
    }
    return 0;
}

WYClient::WYClient(unsigned long clientId) : clientId_(clientId) {}

int WYClient::getInstallDirectory(std::string& out, int kind, void* reserved) {
    host::RegValue v;
    std::string key = "Clients/" + std::to_string(clientId_);
    std::string text;
    if (!readFocused(host::currentInstance(), key.c_str(), "dInstallDir", v) || !asText(v, text) ||
        text.empty())
        return 2;
    out = std::move(text);
    return 0;
}

int WYClient::getOperatingSystemId(int& out, void* reserved) {
    host::RegValue v;
    std::string key = "Clients/" + std::to_string(clientId_);
    long long id = 0;
    if (!readFocused(host::currentInstance(), key.c_str(), "nOsId", v) || !asNumber(v, id) ||
        id < INT_MIN || id > INT_MAX)
        return 2;
    out = static_cast<int>(id);
    return 0;
}
