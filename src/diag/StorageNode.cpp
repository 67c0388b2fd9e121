#include "diag/StorageNode.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/Process.h"

namespace {

const char* const kRunTag = "std::string runKolvraCollectionScript(std::string)";

bool lookUpUser(const std::string& name, uid_t& uid, gid_t& gid) {
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    uid = found->pw_uid;
    gid = found->pw_gid;
    return true;
}

}  // namespace

namespace diag {

std::string writeCollectionScript(const std::string& owner, const std::string& name) {
    EvDebug log;
    std::string path = "/tmp/" + name + "_XXXXXX";
    uid_t uid = 0;
    gid_t gid = 0;
    if (!lookUpUser(owner, uid, gid)) {
        log.Error(kRunTag, "Unable to create file[%s]: no user [%s]", path.c_str(), owner.c_str());
        return "";
    }
    const int fd = mkostemp(&path[0], O_CLOEXEC);
    if (fd < 0) {
        log.Error(kRunTag, "Unable to create file[%s]: %s", path.c_str(), std::strerror(errno));
        return "";
    }
    FILE* stream = fdopen(fd, "w");
    if (stream == nullptr) close(fd);
    host::FileHandle file(stream);
    const size_t length = std::strlen(diag::collectionScript);
    const bool done = file && file.write(diag::collectionScript, length) &&
                      fflush(file.get()) == 0 && fchmod(fileno(file.get()), 0500) == 0 &&
                      fchown(fileno(file.get()), uid, gid) == 0 && file.close();
    if (!done) {
        log.Error(kRunTag, "Unable to create file[%s]: %s", path.c_str(), std::strerror(errno));
        unlink_utf(path.c_str());
        return "";
    }
    return path;
}

std::string kolvraScriptCommand(const std::string& script, const std::string& name,
                                const std::string& owner) {
    const std::string inner = "source " + host::shellQuote(script) + " " + host::shellQuote(name) +
                              " " + host::shellQuote(owner);
    return "su -c " + host::shellQuote(inner) + " - " + host::shellQuote(owner);
}

}  // namespace diag

bool isKolvraNode() {
    return FXFile::DoesFileExist(diag::kKolvraDeployTool);
}

std::string getOwnerName(std::string path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return "";
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(st.st_uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return "";
    std::string owner = found->pw_name;
    EvDebug log;
    log.Debug("std::string getOwnerName(std::string)", "The owner of %s is %s", path.c_str(),
              owner.c_str());
    return owner;
}

std::string runKolvraCollectionScript(std::string owner) {
    const std::string name = "kolvra_" + std::to_string(static_cast<int>(time(nullptr)));
    const std::string script = diag::writeCollectionScript(owner, name);
    if (script.empty()) return "";
    const std::string command = diag::kolvraScriptCommand(script, name, owner);
    std::string out, err;
    const int result = WyProcess::system(command.c_str(), &out, &err, 0, false);
    EvDebug log;
    log.Debug(kRunTag, "Call command: [%s], result [%d], output = [%s], err = [%s]",
              command.c_str(), result, out.c_str(), err.c_str());
    if (unlink_utf(script.c_str()) != 0)
        log.Error(kRunTag, "Cannot Cleanup file [%s]", script.c_str());
    return "/home/" + owner + "/" + name + ".tar.gz";
}
