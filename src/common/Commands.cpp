// The logged one-shot command runner and the escaping of shell patterns.
#include "common/Commands.h"

#include <cstring>

#include "host/Log.h"
#include "host/Process.h"

bool runCommand(const char* command, const char* caller) {
    const char* tag = caller != nullptr ? caller : "bool runCommand(const char*, const char*)";
    EvDebug log;
    if (command == nullptr || *command == '\0') {
        log.Debug(tag, "Empty string or NULL passed as command[%p]",
                  static_cast<const void*>(command));
        return false;
    }
    log.Debug(tag, "Running Command:[%s]", command);
    if (WyProcess::system(command, nullptr, nullptr, 0, false) == 0) return true;
    log.Error(tag, "Failed to execute command:[%s]", command);
    return false;
}

namespace common {

bool escapeShellPattern(const std::string& text, std::string& out) {
    std::string escaped;
    escaped.reserve(text.size() + 8);
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) return false;
        // Bytes of multi-byte characters mean nothing to the shell.
        const bool plain = c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                           (c >= 'A' && c <= 'Z') || std::strchr("_./-:,+@%=*?[]", c) != nullptr;
        if (!plain) escaped += '\\';
        escaped += static_cast<char>(c);
    }
    out = escaped;
    return true;
}

}  // namespace common
