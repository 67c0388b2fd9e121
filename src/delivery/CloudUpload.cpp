// A large file goes up in parts: the system split program cuts it beside itself, each part is
// uploaded with up to three attempts, and the parts are removed whatever happened.
#include <cstring>
#include <string>
#include <vector>

#include "delivery/Upload.h"
#include "host/File.h"
#include "host/Log.h"
#include "host/Process.h"
#include "host/Sleep.h"

namespace {

const char* const kTag = "int uploadToCloud(const MsgInternetOptions*, std::string, std::string)";
const char* const kPartInfix = ".part-";
constexpr int kAttempts = 3;
constexpr unsigned long kRetryWaitMs = 10 * 1000;
// Command lines are composed into buffers of this size on the host; longer ones are refused.
constexpr size_t kMaxCommand = 4096;

// A text field of the host's record; false when it is not NUL-terminated inside its array.
template <size_t N>
bool fieldText(const char (&field)[N], std::string& out) {
    size_t length = strnlen(field, N);
    if (length == N) return false;
    out.assign(field, length);
    return true;
}

struct Settings {
    std::string handler, corvaneId, url, user, password;
};

bool readSettings(const MsgInternetOptions& o, Settings& s) {
    return fieldText(o.httpServerHandler, s.handler) && fieldText(o.corvaneId, s.corvaneId) &&
           fieldText(o.uploadUrl, s.url) && fieldText(o.uploadUser, s.user) &&
           fieldText(o.uploadPassword, s.password);
}

bool runLogged(EvDebug& log, const std::string& command, int& status) {
    if (command.size() >= kMaxCommand) {
        log.Error(kTag, "Command line of %zu bytes exceeds the %zu-byte limit", command.size(),
                  kMaxCommand);
        return false;
    }
    log.Debug(kTag, "Call command:%s", command.c_str());
    status = WyProcess::system(command.c_str(), nullptr, nullptr, 0);
    return true;
}

// Removes every part of the file when it goes out of scope, whatever the upload did. Only
// the "*" of the pattern is left to the shell; the path part is quoted.
class PartsRemover {
  public:
    PartsRemover(EvDebug& log, std::string prefix) : log_(log), prefix_(std::move(prefix)) {}
    ~PartsRemover() {
        int status = 0;
        runLogged(log_, "rm -f " + host::shellQuote(prefix_) + "*", status);
    }

  private:
    EvDebug& log_;
    std::string prefix_;
};

// Names in directory that begin with the part prefix, in name order. False when the
// directory cannot be read.
bool listParts(const std::string& directory, const std::string& partPrefix,
               std::vector<std::string>& parts) {
    CSimpleFolderTreeIterator it;
    if (it.Open(directory).IsError()) return false;
    CSimpleFolderTreeIterator::Item item;
    while (!it.GetNextItem(item).IsError())
        if (item.name.compare(0, partPrefix.size(), partPrefix) == 0) parts.push_back(item.name);
    return true;
}

int uploadPart(const MsgInternetOptions& o, const Settings& s, const std::string& part) {
    if (o.protocol == 0)
        return uploadWithHttp(s.url.c_str(), s.user.c_str(), s.password.c_str(), s.handler.c_str(),
                              s.corvaneId.c_str(), o.httpSecured, part.c_str());
    return uploadWithFtp(s.url.c_str(), s.user.c_str(), s.password.c_str(), o.ftpPassive,
                         s.corvaneId.c_str(), part.c_str());
}

}  // namespace

int uploadToCloud(const MsgInternetOptions* options, std::string directory, std::string fileName) {
    EvDebug log;
    Settings settings;
    if (!options || !readSettings(*options, settings)) {
        log.Error(kTag, "The internet options are missing or not NUL-terminated");
        return -1;
    }
    if (options->partSizeMb <= 0) {
        log.Error(kTag, "Invalid part size [%d] MB", options->partSizeMb);
        return -1;
    }
    const std::string source = directory + fileName;
    const std::string prefix = source + kPartInfix;
    int status = 0;
    if (!runLogged(log,
                   "split -b " + std::to_string(options->partSizeMb) + "m " +
                       host::shellQuote(source) + " " + host::shellQuote(prefix),
                   status))
        return -1;
    PartsRemover remover(log, prefix);
    // A split that failed (a full disk, an unreadable file) leaves at most some of the parts:
    // uploading those would deliver a truncated file as if it were whole.
    if (status != 0) {
        log.Error(kTag, "split of [%s] failed with status %d", source.c_str(), status);
        return -1;
    }
    std::vector<std::string> parts;
    if (!listParts(directory, fileName + kPartInfix, parts) || parts.empty()) {
        log.Error(kTag, "Splited files are not found, search string: %s", directory.c_str());
        return -1;
    }
    for (const std::string& name : parts) {
        const std::string part = directory + "/" + name;
        int result = -1;
        for (int attempt = 0; attempt < kAttempts && result != 0; ++attempt) {
            result = uploadPart(*options, settings, part);
            if (result != 0) TESLEEP(kRetryWaitMs);
        }
        if (result != 0) {
            log.Error(kTag, "Failed to upload [%s]", part.c_str());
            return -1;
        }
    }
    return 0;
}
