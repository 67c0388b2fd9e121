// Host logging: EvDebug / EvEvent write one entry line per message into the library's log
// file in the product log directory, in the product's own entry-line format, so the
// library's own extractors can read it. Thread-safe; never fails towards the caller.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

// Levels: messages logged with DebugLvl(level) are written when level <= threshold.
// Error lines are always written. The threshold comes from the registry
// ("EventManager" / "nDebugLevel", default 5) or from SENDLOGS_LOG_LEVEL.
class EvEvent {
  public:
    EvEvent() = default;
    virtual ~EvEvent() = default;

    void Debug(const char* tag, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    void Error(const char* tag, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    void DebugLvl(const char* tag, int level, const char* fmt, ...)
        __attribute__((format(printf, 4, 5)));
    void debug(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void error(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void debugLvl(int level, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    // Free-form print used by remote folder creation.
    void evPrintf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // The text of host message messageId from the message catalogue, copied into buffer
    // (size bytes, always NUL-terminated). Returns the text's length, -1 without a buffer.
    int evPrintf(unsigned long messageId, char* buffer, int size, int flags);
};

class EvDebug : public EvEvent {
  public:
    explicit EvDebug(const char* fileInstance = nullptr) { (void)fileInstance; }
};

// The global log writer: a level query and a formatted write.
class LogWriter {
  public:
    int GetLevel() const;
    void Write(int level, const char* function, const char* fmt, ...)
        __attribute__((format(printf, 4, 5)));
    void VWrite(int level, const char* function, const char* fmt, va_list ap);
};
extern LogWriter* g_ptrLogWriter;

namespace host {

// Where the library log goes. Default: "<log dir>/SendLogFiles.log", the log dir being the
// focused instance's log files directory; falls back to stderr when none can be opened.
// Tests and tools may point it at a file or at nothing (empty path: discard).
void setLogFilePath(const std::string& path);
std::string logFilePath();
void setLogLevel(int level);
int logLevel();
// Forgets setLogFilePath / setLogLevel: back to the environment and the registry.
void resetLogSettings();

// The product's entry-line format: "%05d %05lu MM/DD HH:MM:SS <job> <f6> <f7> <tag> <msg>",
// local time, without the final newline; the message is taken as given (the logger has
// already folded its newlines). Written by the logger and by the log generators alike.
std::string formatEntryLine(long pid, unsigned long tid, time_t when, const std::string& jobField,
                            const std::string& field6, const std::string& field7,
                            const std::string& tagField, const std::string& message);
// The header block of a product log file. Lines 6 and 7 both carry the year as
// "* Date       : YYYY/MM/DD HH:MM:SS", since readers look for it on either line.
std::string formatLogFileHeader(const std::string& serviceName, const std::string& machine,
                                time_t started);
// The same with the Hubmaster and address lines filled in (the three-argument form writes
// "-" for both, so generated logs do not depend on the machine they were made on).
std::string formatLogFileHeader(const std::string& serviceName, const std::string& machine,
                                time_t started, const std::string& hubmaster,
                                const std::string& ipAddrs);

}  // namespace host
