// Job results directories and the stand-in for the remote-client proxy: a remote client's
// files are a local folder named in the registry.
#include "host/Jobs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/File.h"
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

// Copies the tree below source into destination (created when missing). Links are skipped:
// the proxy hands over files, not references into the machine. Returns the number of
// entries that could not be copied and keeps the first reason.
size_t copyTree(const std::string& source, const std::string& destination,
                std::string& firstError) {
    size_t failed = 0;
    auto note = [&](const CTeError& e) {
        if (firstError.empty()) firstError = e.AsString();
        ++failed;
    };
    CTeError made = CTeDirectory::Create(destination, true);
    if (made.IsError()) {
        note(made);
        return failed;
    }
    DIR* dir = opendir(source.c_str());
    if (!dir) {
        note(FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno, "cannot read [%s]", source.c_str()));
        return failed;
    }
    std::vector<std::string> names;
    while (struct dirent* e = readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        std::string from = source + "/" + name, to = destination + "/" + name;
        struct stat st;
        if (lstat(from.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            failed += copyTree(from, to, firstError);
        } else if (S_ISREG(st.st_mode)) {
            CTeError copied = CTeFile::Copy(from, to);
            if (copied.IsError()) note(copied);
        }
    }
    return failed;
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

boost::shared_ptr<ProxyServices> ProxyServices::instanceForClient(unsigned long threadId,
                                                                  unsigned long clientId,
                                                                  int reserved, bool a, bool b) {
    std::string folder =
        readString(host::currentInstance(), "Clients/" + std::to_string(clientId), "dProxyFolder");
    if (folder.empty()) return boost::shared_ptr<ProxyServices>();
    return boost::shared_ptr<ProxyServices>(new ProxyServices(folder));
}

CTeError ProxyServices::downloadLogFiles(const std::string& localFolder, uint64_t options) {
    if (!FXFolder::DoesFolderExist(source_))
        return CTeError(2, "the remote client's folder [" + source_ + "] is not reachable",
                        SL_CODE_LOCATION);
    if (localFolder.empty()) return CTeError(2, "no local folder", SL_CODE_LOCATION);
    std::string firstError;
    size_t failed = copyTree(source_, localFolder, firstError);
    if (failed > 0)
        return CTeError(
            2, std::to_string(failed) + " item(s) could not be downloaded; first: " + firstError,
            SL_CODE_LOCATION);
    return CTeError();
}

CTeError ProxyServices::createNewFolder(const std::string& path) {
    // The path is one on the remote client; it must stay inside the client's folder.
    std::string relative;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..")
            return CTeError(EINVAL, "refusing folder path [" + path + "]", SL_CODE_LOCATION);
        if (!part.empty() && part != ".") relative += "/" + part;
        start = end + 1;
    }
    if (relative.empty()) return CTeError(EINVAL, "empty folder path", SL_CODE_LOCATION);
    if (!FXFolder::DoesFolderExist(source_))
        return CTeError(2, "the remote client's folder [" + source_ + "] is not reachable",
                        SL_CODE_LOCATION);
    return CTeDirectory::Create(source_ + relative, false);
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
