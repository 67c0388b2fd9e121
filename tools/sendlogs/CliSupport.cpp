// Options, errors and the summary line every command shares.
#include "CliSupport.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "host/Log.h"

namespace cli {

const char* const kExitStatusHelp =
    "Exit status: 0 done; 1 failed; 2 wrong command line; 3 nothing was selected; 130 or 143 "
    "stopped by SIGINT or SIGTERM (partial output removed).";

const char* const kGlobalOptionsHelp =
    "Every command also takes -q/--quiet, -v/--verbose, --log-file FILE and --log-level N "
    "(\"sendlogs --help\" describes them).";

const long long kMaxId = 9223372036854775807LL;

void addGlobalOptions(CLI::App& program, CommonOptions& options) {
    program.add_flag("-q,--quiet", options.quiet, "Print errors only, no summary line");
    program.add_flag("-v,--verbose", options.verbose,
                     "Also show the library's log on standard error");
    program.add_option("--log-file", options.logFile,
                       "Write the library's log to this file (\"-\": standard error)");
    program.add_option("--log-level", options.logLevel, "Detail of the library's log (0 to 10)")
        ->check(wholeNumber(0, 10));
}

void addJsonOption(CLI::App& command, CommonOptions& options) {
    command.add_flag("--json", options.json, "End with one JSON object, not a line");
}

void applyCommonOptions(const CommonOptions& options, LibraryLog defaultLog) {
    if (options.logLevel >= 0) host::setLogLevel(options.logLevel);
    if (options.logFile == "-" || (options.logFile.empty() && options.verbose))
        host::setLogFilePath("/dev/stderr");
    else if (!options.logFile.empty())
        host::setLogFilePath(options.logFile);
    else if (defaultLog == LibraryLog::Discard)
        host::setLogFilePath("");
}

void printError(const std::string& message) {
    std::fflush(stdout);
    std::cerr << "sendlogs: " << message << "\n";
}

int usageError(const std::string& message) {
    printError(message);
    return kExitUsage;
}

CLI::Validator wholeNumber(long long min, long long max) {
    const std::string range = max == kMaxId
                                  ? std::to_string(min) + " or more"
                                  : "from " + std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [min, max, range](std::string& text) -> std::string {
            errno = 0;
            char* end = nullptr;
            const long long value = std::strtoll(text.c_str(), &end, 10);
            const bool digits = !text.empty() && end != nullptr && *end == '\0' &&
                                text.find_first_not_of("+-0123456789") == std::string::npos;
            if (!digits || errno == ERANGE || value < min || value > max)
                return "\"" + text + "\" is not a whole number " + range;
            return std::string();
        },
        "NUMBER", "wholeNumber");
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

namespace {

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

ProgressLine::ProgressLine(std::string label, bool enabled)
    : label_(std::move(label)), enabled_(enabled), started_(secondsNow()) {}

void ProgressLine::finish() {
    if (shown_) std::fprintf(stderr, "\r\033[K");
    shown_ = false;
    enabled_ = false;
}

void ProgressLine::update(uint64_t bytes) {
    if (!enabled_) return;
    const double now = secondsNow();
    // Quick steps stay silent; a long one is redrawn five times a second.
    if (now - started_ < 1.0 || now - drawn_ < 0.2) return;
    drawn_ = now;
    shown_ = true;
    const double mib = static_cast<double>(bytes) / (1 << 20);
    std::fprintf(stderr, "\r\033[K%s: %.1f MiB, %.1f MiB/s, %.0f s", label_.c_str(), mib,
                 mib / (now - started_), now - started_);
    std::fflush(stderr);
}

namespace {

// The bytes this process has written so far; false when the kernel does not say.
bool writtenBytes(uint64_t& bytes) {
    std::ifstream io("/proc/self/io");
    std::string key;
    unsigned long long value = 0;
    while (io >> key >> value) {
        if (key == "wchar:") {
            bytes = value;
            return true;
        }
    }
    return false;
}

}  // namespace

WrittenBytesProgress::WrittenBytesProgress(std::string label, bool enabled)
    : line_(std::move(label), enabled) {
    uint64_t start = 0;
    if (enabled && writtenBytes(start)) thread_ = std::thread([this, start] { run(start); });
}

WrittenBytesProgress::~WrittenBytesProgress() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    line_.finish();
}

void WrittenBytesProgress::run(uint64_t start) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return stop_; })) {
        uint64_t now = 0;
        if (writtenBytes(now)) line_.update(now - start);
    }
}

bool wantProgress(const CommonOptions& options, bool dataOnStdout) {
    return !options.quiet && ::isatty(STDERR_FILENO) && !(dataOnStdout && ::isatty(STDOUT_FILENO));
}

namespace {

const char* statusWord(int status) {
    switch (status) {
        case kExitOk:
            return "done";
        case kExitNothing:
            return "nothing selected";
        case kExitUsage:
            return "refused";
        default:
            return status >= 128 ? "interrupted" : "FAILED";
    }
}

std::string jsonSummary(const Summary& s) {
    std::string out = "{\"command\":" + jsonString(s.command) +
                      ",\"status\":" + jsonString(statusWord(s.status)) +
                      ",\"exit\":" + std::to_string(s.status);
    auto add = [&out](const char* key, long long value) {
        if (value >= 0) out += ",\"" + std::string(key) + "\":" + std::to_string(value);
    };
    add("files", s.files);
    add("bytes", s.bytes);
    add("lines_kept", s.linesKept);
    add("lines_withheld", s.linesWithheld);
    add("values_masked", s.valuesMasked);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", s.seconds);
    out += ",\"seconds\":" + std::string(seconds);
    if (!s.output.empty()) out += ",\"output\":" + jsonString(s.output);
    return out + "}";
}

std::string textSummary(const Summary& s) {
    std::string out = s.command + ": " + statusWord(s.status) + ":";
    const char* sep = " ";
    auto add = [&out, &sep](long long value, const char* what) {
        if (value < 0) return;
        out += sep + std::to_string(value) + " " + what;
        sep = ", ";
    };
    add(s.files, "file(s)");
    add(s.bytes, "bytes");
    add(s.linesKept, "lines kept");
    add(s.linesWithheld, "lines withheld");
    add(s.valuesMasked, "values masked");
    char seconds[48];
    std::snprintf(seconds, sizeof seconds, "%sin %.2f s", sep, s.seconds);
    out += seconds;
    if (!s.output.empty()) out += s.output == "-" ? " to standard output" : " to " + s.output;
    return out;
}

}  // namespace

void printSummary(const Summary& summary, const CommonOptions& options) {
    if (options.quiet && !options.json) return;
    const std::string line = options.json ? jsonSummary(summary) : textSummary(summary);
    FILE* out = summary.output == "-" ? stderr : stdout;
    std::fflush(stdout);
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
}

}  // namespace cli
