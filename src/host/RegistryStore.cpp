// The registry's storage: paths of keys and values, and the value file format.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/FileHandle.h"
#include "host/Registry.h"

namespace host {

namespace {

constexpr const char* kDefaultRoot = "/etc/KestravRegistry";
constexpr const char* kProductTree = "SOFTWARE/Kestrav Systems/Orvion";
constexpr const char* kDefaultInstance = "Instance001";
constexpr const char* kMultiHeader = "#multi";
constexpr const char* kStringHeader = "#string";
constexpr const char* kExpandHeader = "#expand";
constexpr const char* kBigEndianHeader = "#dword-be";
constexpr const char* kQWordHeader = "#qword";
constexpr const char* kRawHeader = "#type ";  // followed by the type code
constexpr size_t kHexPerLine = 64;
// Value files are small; anything larger is not a value written by us or an editor.
constexpr size_t kMaxValueFile = 4 << 20;

std::atomic<uint64_t> g_generation{0};

// Splits a key path on "/" and "\", dropping empty parts. False when a part is "." or "..",
// which would leave the registry tree.
bool splitKey(const std::string& key, std::vector<std::string>& parts) {
    std::string part;
    auto flush = [&]() {
        if (part == "." || part == "..") return false;
        if (!part.empty()) parts.push_back(part);
        part.clear();
        return true;
    };
    for (char c : key) {
        if (c == '/' || c == '\\') {
            if (!flush()) return false;
        } else {
            part += c;
        }
    }
    return flush();
}

std::string joinKey(const std::string& base, const std::string& key) {
    std::vector<std::string> parts;
    if (!splitKey(key, parts)) return std::string();
    std::string path = base;
    for (const auto& part : parts) path += "/" + part;
    return path;
}

bool validName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool isDecimal(const std::string& text, long long& value) {
    if (text.empty() || text.size() > 20) return false;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return false;
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0') return false;
    value = parsed;
    return true;
}

bool startsWithLine(const std::string& text, const char* header) {
    size_t n = std::strlen(header);
    return text.compare(0, n, header) == 0 && (text.size() == n || text[n] == '\n');
}

bool readWhole(const std::string& file, std::string& text) {
    // A value that is a FIFO or a device must not hold the request: the open does not wait,
    // and only a regular file of bounded size is read.
    int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<size_t>(st.st_size) > kMaxValueFile) {
        ::close(fd);
        return false;
    }
    text.clear();
    char buffer[4096];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ::close(fd);
            return got == 0;
        }
        text.append(buffer, static_cast<size_t>(got));
        if (text.size() > kMaxValueFile) {
            ::close(fd);
            return false;
        }
    }
}

bool makeFolders(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = dir.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(dir.substr(0, slash))) return false;
    return ::mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string toHexLines(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        text += digits[c >> 4];
        text += digits[c & 15];
        if ((i + 1) % (kHexPerLine / 2) == 0 || i + 1 == bytes.size()) text += '\n';
    }
    return text;
}

// Hexadecimal digits with any white space between them; false on anything else.
bool fromHex(const std::string& text, size_t from, std::string& bytes) {
    int high = -1;
    for (size_t i = from; i < text.size(); ++i) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) return false;
        if (high < 0) {
            high = digit;
        } else {
            bytes += static_cast<char>(high * 16 + digit);
            high = -1;
        }
    }
    return high < 0;
}

// The text after a marker line, without one final newline.
std::string afterHeader(const std::string& text, const char* header) {
    std::string rest = text.substr(std::min(text.size(), std::strlen(header) + 1));
    if (!rest.empty() && rest.back() == '\n') rest.pop_back();
    return rest;
}

// The kinds that only a marker line announces. False when text has none of their markers;
// then ok tells nothing. With a marker, ok is false when the rest does not read.
bool readMarkedKind(const std::string& text, RegValue& value, bool& ok) {
    ok = true;
    if (startsWithLine(text, kExpandHeader)) {
        value.type = RegType::ExpandString;
        value.text = afterHeader(text, kExpandHeader);
        return true;
    }
    for (const char* header : {kBigEndianHeader, kQWordHeader}) {
        if (!startsWithLine(text, header)) continue;
        value.type = header == kBigEndianHeader ? RegType::DWordBigEndian : RegType::QWord;
        ok = isDecimal(afterHeader(text, header), value.number) &&
             (value.type == RegType::QWord ||
              (value.number >= INT32_MIN && value.number <= UINT32_MAX));
        return true;
    }
    if (text.compare(0, std::strlen(kRawHeader), kRawHeader) != 0) return false;
    size_t end = text.find('\n');
    long long code = 0;
    std::string codeText =
        text.substr(std::strlen(kRawHeader),
                    (end == std::string::npos ? text.size() : end) - std::strlen(kRawHeader));
    value.type = RegType::Raw;
    ok = isDecimal(codeText, code) && code >= 0 && code <= INT32_MAX &&
         fromHex(text, end == std::string::npos ? text.size() : end + 1, value.bytes);
    value.rawType = static_cast<int>(code);
    return true;
}

std::string encodeValue(const RegValue& value, bool& ok) {
    ok = true;
    switch (value.type) {
        case RegType::Number:
            return std::to_string(value.number) + "\n";
        case RegType::MultiString: {
            std::string text = std::string(kMultiHeader) + "\n";
            for (const auto& item : value.strings) {
                if (item.find('\n') != std::string::npos) ok = false;
                text += item + "\n";
            }
            return text;
        }
        case RegType::ExpandString:
            return std::string(kExpandHeader) + "\n" + value.text + "\n";
        case RegType::DWordBigEndian:
            ok = value.number >= INT32_MIN && value.number <= UINT32_MAX;
            return std::string(kBigEndianHeader) + "\n" + std::to_string(value.number) + "\n";
        case RegType::QWord:
            return std::string(kQWordHeader) + "\n" + std::to_string(value.number) + "\n";
        case RegType::Raw:
            ok = value.rawType >= 0;
            return std::string(kRawHeader) + std::to_string(value.rawType) + "\n" +
                   toHexLines(value.bytes);
        case RegType::String:
            break;
    }
    long long ignored;
    // Texts a reader would take for a number or a header line carry an explicit marker.
    bool ambiguous =
        isDecimal(value.text, ignored) || (!value.text.empty() && value.text[0] == '#');
    return (ambiguous ? std::string(kStringHeader) + "\n" : std::string()) + value.text + "\n";
}

}  // namespace

std::string registryRoot() {
    const char* env = std::getenv("ORVION_REGISTRY_ROOT");
    std::string root = (env && *env) ? env : kDefaultRoot;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

std::string currentInstance() {
    std::string name;
    if (const char* env = std::getenv("ORVION_INSTANCE")) name = env;
    if (name.empty()) {
        std::string text;
        if (readWhole(registryRoot() + "/CurrentInstance", text)) {
            size_t end = text.find_first_of("\r\n");
            name = text.substr(0, end);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
        }
    }
    return validName(name) ? name : kDefaultInstance;
}

std::string registryKeyPath(const std::string& instance, const std::string& key) {
    if (!validName(instance)) return std::string();
    return joinKey(registryRoot() + "/" + kProductTree + "/" + instance, key);
}

std::string registryAbsPath(const std::string& absPath) {
    return joinKey(registryRoot(), absPath);
}

uint64_t registryGeneration() {
    return g_generation.load(std::memory_order_relaxed);
}

bool readRegValue(const std::string& file, RegValue& out) {
    std::string text;
    if (file.empty() || !readWhole(file, text)) return false;
    RegValue value;
    if (startsWithLine(text, kMultiHeader)) {
        value.type = RegType::MultiString;
        size_t pos = std::strlen(kMultiHeader) + 1;
        while (pos < text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            value.strings.push_back(text.substr(pos, end - pos));
            pos = end + 1;
        }
        out = std::move(value);
        return true;
    }
    bool readable = true;
    if (readMarkedKind(text, value, readable)) {
        if (!readable) return false;
        out = std::move(value);
        return true;
    }
    bool marked = startsWithLine(text, kStringHeader);
    if (marked) text.erase(0, std::min(text.size(), std::strlen(kStringHeader) + 1));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!marked && isDecimal(text, value.number)) {
        value.type = RegType::Number;
    } else {
        value.type = RegType::String;
        value.text = std::move(text);
    }
    out = std::move(value);
    return true;
}

bool writeRegValue(const std::string& file, const RegValue& value) {
    size_t slash = file.rfind('/');
    std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    if (file.empty() || !validName(name)) return false;
    bool ok = false;
    std::string text = encodeValue(value, ok);
    if (!ok) return false;  // a multi-string item holding a newline cannot be stored
    std::string dir = slash == std::string::npos ? std::string() : file.substr(0, slash);
    if (!makeFolders(dir)) return false;
    // Write beside the value and rename, so a reader never sees half a value.
    std::string temp = (dir.empty() ? std::string() : dir + "/") + "." + name + ".XXXXXX";
    std::vector<char> templ(temp.begin(), temp.end());
    templ.push_back('\0');
    int fd = mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool written = io::writeFd(fd, text.data(), text.size()) && fchmod(fd, 0644) == 0;
    written = (::close(fd) == 0) && written;
    if (!written || ::rename(templ.data(), file.c_str()) != 0) {
        ::unlink(templ.data());
        return false;
    }
    g_generation.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool setRegString(const std::string& instance, const std::string& key, const std::string& name,
                  const std::string& value) {
    std::string keyPath = registryKeyPath(instance, key);
    if (keyPath.empty() || !validName(name)) return false;
    RegValue v;
    v.type = RegType::String;
    v.text = value;
    return writeRegValue(keyPath + "/" + name, v);
}

bool setRegNumber(const std::string& instance, const std::string& key, const std::string& name,
                  long long value) {
    std::string keyPath = registryKeyPath(instance, key);
    if (keyPath.empty() || !validName(name)) return false;
    RegValue v;
    v.type = RegType::Number;
    v.number = value;
    return writeRegValue(keyPath + "/" + name, v);
}

}  // namespace host
