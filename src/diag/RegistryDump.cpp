// The registry dump. Values are read through the registry's raw form, so every value type
// prints as its type; the product's encryption key never does.
#include "diag/RegistryDump.h"

#include <arpa/inet.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/Registry.h"

namespace {

const char* const kTag = "getOrvionRegistryInfo";
const char* const kFileName = "OrvionRegistry.txt";
const char* const kRoots[] = {"SOFTWARE\\Kestrav Systems", "SOFTWARE\\ODBC"};
constexpr size_t kPathSize = 1024;
constexpr unsigned kFlagCount = 1024;
constexpr unsigned kMaxDepth = kFlagCount - 1;
constexpr int kReadBuffer = 1024;
// Its data never reaches the dump, whatever its type or the case of its name.
const char* const kMaskedValue = "sWyPwdV5EncKey";

enum RegTypeCode {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_DWORD_BIG_ENDIAN = 5,
    REG_LINK = 6,
    REG_MULTI_SZ = 7,
    REG_RESOURCE_LIST = 8,
    REG_QWORD = 11,
};

class RegistryWalk {
  public:
    explicit RegistryWalk(FILE* out) : out_(out) {}
    bool walk(const std::string& key, unsigned depth, char* flags);
    bool writeFailed() const { return writeError_ != 0; }
    int writeError() const { return writeError_; }
    void put(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  private:
    void prefix(unsigned depth, const char* flags, const char* mark);
    bool readValue(const std::string& key, const std::string& name, int& type,
                   std::vector<char>& data, int& length);
    void printValue(const std::string& name, int type, const char* data, int length);

    FILE* out_;
    int writeError_ = 0;
    WYPlatformInfo registry_;
};

void RegistryWalk::put(const char* fmt, ...) {
    if (writeError_) return;
    char small[2048];
    va_list ap;
    va_start(ap, fmt);
    int length = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (length < 0) {
        writeError_ = EINVAL;
        return;
    }
    std::vector<char> large;
    const char* text = small;
    if (static_cast<size_t>(length) >= sizeof small) {
        large.resize(static_cast<size_t>(length) + 1);
        va_start(ap, fmt);
        std::vsnprintf(large.data(), large.size(), fmt, ap);
        va_end(ap);
        text = large.data();
    }
    if (!host::io::write(out_, text, static_cast<size_t>(length)))
        writeError_ = errno ? errno : EIO;
}

void RegistryWalk::prefix(unsigned depth, const char* flags, const char* mark) {
    if (depth == 0) return;
    // Columns three characters wide: "|" where a branch above goes on, then the mark.
    std::string text;
    text.reserve(3 * depth);
    for (unsigned i = 1; i < depth; ++i) text += flags[i - 1] ? "|  " : "   ";
    text += mark;
    text.append(3 - std::strlen(mark), ' ');
    put("%s", text.c_str());
}

// Reads into data, growing it to the size the registry asks for when the first read does not
// fit. data keeps one byte beyond length for a terminating NUL.
bool RegistryWalk::readValue(const std::string& key, const std::string& name, int& type,
                             std::vector<char>& data, int& length) {
    data.assign(kReadBuffer + 1, '\0');
    length = kReadBuffer;
    if (registry_.getRegValue(key, name, type, data.data(), length)) return true;
    if (registry_.getRegError() != WYPlatformInfo::kRegBufferTooSmall || length < 0) return false;
    data.assign(static_cast<size_t>(length) + 2, '\0');
    length += 1;
    return registry_.getRegValue(key, name, type, data.data(), length) != 0;
}

template <typename T>
T numberAt(const char* data, int length) {
    T value = 0;
    std::memcpy(&value, data, std::min(sizeof value, static_cast<size_t>(std::max(length, 0))));
    return value;
}

void RegistryWalk::printValue(const std::string& name, int type, const char* data, int length) {
    put("%s: ", name.c_str());
    const bool masked = strcasecmp(name.c_str(), kMaskedValue) == 0;
    switch (type) {
        case REG_NONE:
            return put("REG_NONE: Length %d\n", length);
        case REG_SZ:
            return masked ? put("REG_SZ: Data [xxx]\n")
                          : put("REG_SZ: Data [%s] Length %d\n", data, length);
        case REG_EXPAND_SZ:
            return masked ? put("REG_EXPAND_SZ: Data [xxx]\n")
                          : put("REG_EXPAND_SZ: Data [%s] Length %d\n", data, length);
        case REG_BINARY:
            return put("REG_BINARY: Length %d\n", length);
        case REG_DWORD:
            return masked ? put("REG_DWORD: Data [xxx]\n")
                          : put("REG_DWORD: Data %d\n", numberAt<int32_t>(data, length));
        case REG_DWORD_BIG_ENDIAN:
            return masked ? put("REG_DWORD_BIG_ENDIAN: Data [xxx]\n")
                          : put("REG_DWORD_BIG_ENDIAN: Data %d\n",
                                static_cast<int32_t>(ntohl(numberAt<uint32_t>(data, length))));
        case REG_LINK:
            return put("REG_LINK: Length %d\n", length);
        case REG_MULTI_SZ: {
            if (masked) return put("REG_MULTI_SZ: Data [xxx]\n");
            put("REG_MULTI_SZ: Length %d\n", length);
            if (length <= 0) return;
            std::set<std::string> strings;
            FromMultiSZStringToSet(data, length, strings);
            for (const std::string& s : strings) put("%s\n", s.c_str());
            return;
        }
        case REG_RESOURCE_LIST:
            return put("REG_RESOURCE_LIST: Length %d\n", length);
        case REG_QWORD:
            return masked ? put("REG_QWORD: Data [xxx]\n")
                          : put("REG_QWORD: Data %lld\n",
                                static_cast<long long>(numberAt<int64_t>(data, length)));
        default:
            return;  // other kinds print nothing after the name
    }
}

bool RegistryWalk::walk(const std::string& key, unsigned depth, char* flags) {
    std::vector<std::string> subKeys;
    if (!registry_.getRegSubKeysFromAbsPath(key, subKeys)) {
        put("getRegSubKeysFromAbsPath failed\n");
        return false;
    }
    std::map<std::string, host::RegValue> values;
    if (!registry_.getRegValues(key, values)) {
        put("getRegValues failed\n");
        return false;
    }
    const char* valueMark = values.size() == 1 && subKeys.empty() ? "`-" : "|-";
    std::vector<char> data;
    for (const auto& entry : values) {
        int type = 0, length = 0;
        if (!readValue(key, entry.first, type, data, length)) {
            put("Error while enumerating values\n");
            return false;
        }
        prefix(depth, flags, valueMark);
        printValue(entry.first, type, data.data(), length);
    }
    for (size_t k = 0; k < subKeys.size(); ++k) {
        const std::string& name = subKeys[k];
        if (name.empty()) continue;
        const bool last = k + 1 == subKeys.size();
        prefix(depth, flags, last ? "`-" : "|-");
        put("%s:\n", name.c_str());
        if (depth != 0) {
            if (depth > kMaxDepth) {
                put("Reached the maximum depth of registry keys [%d]\n", kFlagCount);
                return false;
            }
            flags[depth - 1] = last ? 0 : 1;
        }
        if (!walk(key + "/" + name, depth + 1, flags)) return false;
    }
    return !writeFailed();
}

}  // namespace

bool RecurseDumpReg(FILE* out, std::string keyPath, unsigned int depth, char* flags) {
    if (!out || !flags) return false;
    RegistryWalk walk(out);
    return walk.walk(keyPath, depth, flags) && !walk.writeFailed();
}

int getOrvionRegistryInfo(const char* directory, std::vector<std::string>& files, long id) {
    EvEvent log;
    if (!directory || !*directory) {
        log.Error(kTag, "No output directory given");
        return EINVAL;
    }
    char path[kPathSize];
    int length = id > 0 ? std::snprintf(path, sizeof path, "%s/%lld_%s", directory,
                                        static_cast<long long>(id), kFileName)
                        : std::snprintf(path, sizeof path, "%s/%s", directory, kFileName);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) {
        log.Error(kTag, "Output path in [%s] exceeds %zu bytes", directory, kPathSize - 1);
        return ENAMETOOLONG;
    }
    host::FileHandle file = host::FileHandle::open(path, "w+");
    if (!file) {
        int error = errno ? errno : EIO;
        log.Error(kTag, "failed to open the output file [%s]", path);
        return error;
    }
    RegistryWalk walk(file.get());
    char flags[kFlagCount];
    for (size_t i = 0; i < 2; ++i) {
        walk.put(i == 0 ? "Listing Registry contents of [%s]:\n"
                        : "\nListing Registry contents of [%s]:\n",
                 kRoots[i]);
        std::memset(flags, 1, sizeof flags);
        walk.walk(kRoots[i], 0, flags);  // a walk that stopped left its reason in the file
    }
    int error = walk.writeError();
    if (!file.close() && !error) error = errno ? errno : EIO;
    if (error) {
        // A dump cut short by a full disk is not handed on as if it were whole.
        log.Error(kTag, "failed to write the output file [%s]: %s", path, std::strerror(error));
        unlink(path);
        return error;
    }
    files.push_back(path);
    return 0;
}
