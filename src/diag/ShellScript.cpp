#include "diag/ShellScript.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/Process.h"

namespace diag {

char tarCreateOrAppend(const std::string& bundle) {
    return host::FileHandle::open(bundle.c_str(), "r+") ? 'r' : 'c';
}

std::string quotedList(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& path : paths) list += host::shellQuote(path) + " ";
    return list;
}

ScriptFile::~ScriptFile() {
    if (!path_.empty()) unlink_utf(path_.c_str());
}

bool ScriptFile::write(const std::string& dir, const std::string& stem, const std::string& text,
                       const char* tag, const char* createFailure) {
    EvDebug log;
    std::string name = dir + "/" + stem + "XXXXXX.sh";
    int fd = mkostemps(&name[0], 3, O_CLOEXEC);
    if (fd < 0) {
        const std::string reason = std::strerror(errno);
        std::string message = createFailure;
        const size_t at = message.find("%s");
        if (at != std::string::npos) message.replace(at, 2, name);
        log.Error(tag, "%s (%s)", message.c_str(), reason.c_str());
        return false;
    }
    path_ = name;
    FILE* stream = fdopen(fd, "w");
    if (stream == nullptr) close(fd);
    host::FileHandle file(stream);
    if (!file || !file.write(text.data(), text.size()) || !file.close()) {
        log.Error(tag, "Failed to write the batch file [%s]: %s", path_.c_str(),
                  std::strerror(errno));
        remove(tag);
        return false;
    }
    if (chmod_utf(path_.c_str(), 0755) != 0)
        log.Debug(tag, "Cannot change permission on  file [%s]", path_.c_str());
    return true;
}

int ScriptFile::run() const {
    return WyProcess::system(host::shellQuote(path_).c_str(), nullptr, nullptr, 0, false);
}

bool ScriptFile::remove(const char* tag) {
    if (path_.empty()) return true;
    bool removed = unlink_utf(path_.c_str()) == 0;
    if (!removed) {
        EvDebug log;
        log.Debug(tag, "Cannot Cleanup file [%s]", path_.c_str());
    }
    path_.clear();
    return removed;
}

}  // namespace diag
