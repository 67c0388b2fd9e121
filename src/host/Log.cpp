// The library's logger: one entry line per message, written whole under one lock.
#include "host/Log.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "host/Registry.h"

namespace {

constexpr int kDefaultLevel = 5;
// A message (after folding newlines) is cut to this size, so an entry line stays well below
// the 16 KiB line buffer of the log readers and is never split into two pieces.
constexpr size_t kMaxMessage = 15 * 1024;
constexpr size_t kMaxTag = 256;
constexpr const char* kTruncated = " ...[truncated]";
constexpr const char* kLogFileName = "SendLogFiles.log";
// Registry-derived settings are looked at again after this many seconds even when nothing
// in this process changed them, so an edit by an administrator takes effect.
constexpr time_t kRefreshSeconds = 1;

enum class Kind { Error, Debug, DebugLevel };

struct Settings {
    bool explicitPath = false;
    std::string path;
    bool explicitLevel = false;
    int level = kDefaultLevel;
};

enum class Sink { Discard, File, Stderr };

// Process-wide logger state; never destroyed, so logging from other static destructors works.
struct Logger {
    std::mutex mutex;
    Settings settings;
    std::string key;  // inputs of the last resolution
    time_t resolvedAt = 0;
    int threshold = kDefaultLevel;
    Sink sink = Sink::Stderr;
    std::string target;  // file path when sink is File
    FILE* file = nullptr;
    std::string openPath;
    std::string failedPath;  // reported once

    static Logger& get() {
        static Logger* logger = new Logger;
        return *logger;
    }
};

std::string envText(const char* name, bool& present) {
    const char* value = std::getenv(name);
    present = value != nullptr;
    return value ? value : "";
}

bool parseLevel(const std::string& text, int& level) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno || *end != '\0' || value < INT_MIN || value > INT_MAX) return false;
    level = static_cast<int>(value);
    return true;
}

bool registryValue(const char* key, const char* name, host::RegValue& out) {
    std::string keyPath = host::registryKeyPath(host::currentInstance(), key);
    return !keyPath.empty() && host::readRegValue(keyPath + "/" + name, out);
}

std::string machineName() {
    host::RegValue v;
    if (registryValue("Base", "sPhysicalMachine", v) && v.type == host::RegType::String &&
        !v.text.empty())
        return v.text;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "unknown";
    return name;
}

std::string ipAddresses() {
    struct ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return "-";
    std::string text;
    for (struct ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        char address[INET_ADDRSTRLEN];
        auto* in = reinterpret_cast<struct sockaddr_in*>(a->ifa_addr);
        if (!inet_ntop(AF_INET, &in->sin_addr, address, sizeof address)) continue;
        if (!text.empty()) text += " ";
        text += address;
    }
    freeifaddrs(list);
    return text.empty() ? "-" : text;
}

void closeFile(Logger& lg) {
    if (lg.file) std::fclose(lg.file);
    lg.file = nullptr;
    lg.openPath.clear();
}

void openTarget(Logger& lg) {
    if (lg.sink != Sink::File) {
        closeFile(lg);
        return;
    }
    if (lg.file && lg.openPath == lg.target) return;
    closeFile(lg);
    FILE* file = std::fopen(lg.target.c_str(), "ae");
    if (!file) {
        if (lg.failedPath != lg.target) {
            std::fprintf(stderr, "sendlogs: cannot open log file %s: %s; logging to stderr\n",
                         lg.target.c_str(), std::strerror(errno));
            lg.failedPath = lg.target;
        }
        lg.sink = Sink::Stderr;
        return;
    }
    lg.file = file;
    lg.openPath = lg.target;
    struct stat st;
    if (fstat(fileno(file), &st) == 0 && st.st_size == 0) {
        std::string header = host::formatLogFileHeader("SendLogFiles", machineName(),
                                                       std::time(nullptr), "-", ipAddresses());
        std::fwrite(header.data(), 1, header.size(), file);
        std::fflush(file);
    }
}

// Works out the threshold and the destination; cheap when nothing changed.
void resolve(Logger& lg) {
    bool fileSet = false, levelSet = false;
    std::string fileEnv = envText("SENDLOGS_LOG_FILE", fileSet);
    std::string levelEnv = envText("SENDLOGS_LOG_LEVEL", levelSet);
    bool instanceSet = false;
    std::string key = std::string(fileSet ? "1" : "0") + fileEnv + "\n" + levelEnv + "\n" +
                      (lg.settings.explicitPath ? "1" : "0") + lg.settings.path + "\n" +
                      (lg.settings.explicitLevel ? std::to_string(lg.settings.level) : "-") + "\n" +
                      host::registryRoot() + "\n" + envText("ORVION_INSTANCE", instanceSet) + "\n" +
                      std::to_string(host::registryGeneration());
    time_t now = std::time(nullptr);
    if (key == lg.key && now - lg.resolvedAt < kRefreshSeconds && now >= lg.resolvedAt) return;
    lg.key = key;
    lg.resolvedAt = now;

    host::RegValue v;
    int level = kDefaultLevel;
    if (!parseLevel(levelEnv, level)) {
        if (lg.settings.explicitLevel)
            level = lg.settings.level;
        else if (registryValue("EventManager", "nDebugLevel", v) && v.type == host::RegType::Number)
            level = static_cast<int>(v.number);
        else
            level = kDefaultLevel;
    }
    lg.threshold = level;

    std::string logDir;
    if (fileSet) {
        lg.sink = fileEnv.empty() ? Sink::Discard : Sink::File;
        lg.target = fileEnv;
    } else if (lg.settings.explicitPath) {
        lg.sink = lg.settings.path.empty() ? Sink::Discard : Sink::File;
        lg.target = lg.settings.path;
    } else if (registryValue("EventManager", "dEVLOGDIR", v) && v.type == host::RegType::String &&
               !v.text.empty()) {
        lg.sink = Sink::File;
        lg.target = v.text + "/" + kLogFileName;
    } else {
        lg.sink = Sink::Stderr;
        lg.target.clear();
    }
    openTarget(lg);
}

// Drops a multi-byte character left incomplete at the end of out (never before start).
void dropPartialChar(std::string& out, size_t start) {
    size_t i = out.size(), continuation = 0;
    while (i > start && (static_cast<unsigned char>(out[i - 1]) & 0xC0) == 0x80) {
        --i;
        ++continuation;
    }
    if (i == start) return;
    unsigned char lead = static_cast<unsigned char>(out[i - 1]);
    if (lead < 0xC0) return;
    size_t needed = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    if (continuation < needed) out.resize(i - 1);
}

// Copies text into out, folding line breaks into the visible escapes "\n" and "\r" so one
// message stays one entry line; cuts it at limit bytes, and marks a cut (or a text that was
// already cut, truncated) with a marker.
void appendFolded(std::string& out, const char* text, size_t length, size_t limit, bool truncated) {
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
    size_t start = out.size();
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        bool lineBreak = c == '\n' || c == '\r';
        if (out.size() - start + (lineBreak ? 2 : 1) > limit) {
            truncated = true;
            break;
        }
        if (lineBreak) {
            out += '\\';
            out += c == '\n' ? 'n' : 'r';
        } else {
            out += c;
        }
    }
    if (truncated) {
        dropPartialChar(out, start);
        out += kTruncated;
    }
}

bool wanted(Kind kind, int level) {
    Logger& lg = Logger::get();
    std::lock_guard<std::mutex> lock(lg.mutex);
    resolve(lg);
    if (lg.sink == Sink::Discard) return false;
    return kind == Kind::Error || level <= lg.threshold;
}

void logMessage(Kind kind, int level, const char* tag, const char* fmt, va_list ap) {
    if (!wanted(kind, level)) return;

    // Formatting happens outside the lock; the buffer bounds the work for huge messages.
    char buffer[kMaxMessage + 1];
    int length = fmt ? std::vsnprintf(buffer, sizeof buffer, fmt, ap) : 0;
    if (length < 0) length = 0;
    bool cut = static_cast<size_t>(length) >= sizeof buffer;
    size_t used = cut ? sizeof buffer - 1 : static_cast<size_t>(length);

    std::string message;
    message.reserve(used + 64);
    if (tag && *tag) {
        appendFolded(message, tag, std::strlen(tag), kMaxTag, false);
        message += ": ";
    }
    appendFolded(message, buffer, used, kMaxMessage, cut);

    std::string field6 = kind == Kind::Error   ? "ERROR"
                         : kind == Kind::Debug ? "DEBUG"
                                               : "DBG" + std::to_string(level);
    std::string line = host::formatEntryLine(
        static_cast<long>(getpid()), static_cast<unsigned long>(syscall(SYS_gettid)),
        std::time(nullptr), "###", field6, "sendlogs", "[A:0]", message);
    line += '\n';

    Logger& lg = Logger::get();
    std::lock_guard<std::mutex> lock(lg.mutex);
    FILE* out = lg.sink == Sink::File && lg.file ? lg.file
                : lg.sink == Sink::Discard       ? nullptr
                                                 : stderr;
    if (!out) return;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}

}  // namespace

#define SL_LOG_FORWARD(kind, level, tag)             \
    do {                                             \
        va_list ap;                                  \
        va_start(ap, fmt);                           \
        logMessage((kind), (level), (tag), fmt, ap); \
        va_end(ap);                                  \
    } while (0)

void EvEvent::Debug(const char* tag, const char* fmt, ...) {
    SL_LOG_FORWARD(Kind::Debug, 0, tag);
}
void EvEvent::Error(const char* tag, const char* fmt, ...) {
    SL_LOG_FORWARD(Kind::Error, 0, tag);
}
void EvEvent::DebugLvl(const char* tag, int level, const char* fmt, ...) {
    SL_LOG_FORWARD(Kind::DebugLevel, level, tag);
}
void EvEvent::debug(const char* fmt, ...) {
    SL_LOG_FORWARD(Kind::Debug, 0, nullptr);
}
void EvEvent::error(const char* fmt, ...) {
    SL_LOG_FORWARD(Kind::Error, 0, nullptr);
}
void EvEvent::debugLvl(int level, const char* fmt, ...) {
    SL_LOG_FORWARD(Kind::DebugLevel, level, nullptr);
}
void EvEvent::evPrintf(const char* fmt, ...) {
    SL_LOG_FORWARD(Kind::Debug, 0, "evPrintf");
}

int LogWriter::GetLevel() const {
    return host::logLevel();
}

void LogWriter::Write(int level, const char* function, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    VWrite(level, function, fmt, ap);
    va_end(ap);
}

void LogWriter::VWrite(int level, const char* function, const char* fmt, va_list ap) {
    logMessage(Kind::DebugLevel, level, function, fmt, ap);
}

namespace {
LogWriter g_logWriter;
}
LogWriter* g_ptrLogWriter = &g_logWriter;

namespace host {

void setLogFilePath(const std::string& path) {
    Logger& lg = Logger::get();
    std::lock_guard<std::mutex> lock(lg.mutex);
    lg.settings.explicitPath = true;
    lg.settings.path = path;
    lg.key.clear();
}

std::string logFilePath() {
    Logger& lg = Logger::get();
    std::lock_guard<std::mutex> lock(lg.mutex);
    resolve(lg);
    return lg.sink == Sink::File ? lg.target : std::string();
}

void setLogLevel(int level) {
    Logger& lg = Logger::get();
    std::lock_guard<std::mutex> lock(lg.mutex);
    lg.settings.explicitLevel = true;
    lg.settings.level = level;
    lg.key.clear();
}

int logLevel() {
    Logger& lg = Logger::get();
    std::lock_guard<std::mutex> lock(lg.mutex);
    resolve(lg);
    return lg.threshold;
}

void resetLogSettings() {
    Logger& lg = Logger::get();
    std::lock_guard<std::mutex> lock(lg.mutex);
    lg.settings = Settings();
    lg.key.clear();
}

}  // namespace host
