// The name under which the requester receives the bundle.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "collector/infoNLogsCollector.h"

namespace {

uint32_t fnv1a(const char* text) {
    uint32_t hash = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        hash ^= *p;
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace

bool composeReplyName(const char* clientName, const char* suffix, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    const char* name = clientName != nullptr ? clientName : "NO NAME";
    size_t nameLen = strlen(name);
    size_t suffixLen = strlen(suffix);
    if (nameLen + suffixLen < size) {
        snprintf(buffer, size, "%s%s", name, suffix);
        return true;
    }
    // "~" and eight hex digits mark a shortened name.
    const size_t kMark = 9;
    if (suffixLen + kMark + 1 >= size) return false;
    size_t keep = size - 1 - suffixLen - kMark;
    snprintf(buffer, size, "%.*s~%08x%s", static_cast<int>(keep), name, fnv1a(name), suffix);
    EvEvent().Error("bundleAllLogs",
                    "Client name of %zu characters does not fit the reply name; "
                    "sending [%s]",
                    nameLen, buffer);
    return true;
}
