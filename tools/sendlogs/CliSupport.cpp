// Options, errors and the summary line every command shares.
#include "CliSupport.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "host/Log.h"

namespace cli {

const char* const kExitStatusHelp =
    "Exit status: 0 done; 1 failed; 2 wrong command line; 3 nothing was selected; 130 or 143 "
    "stopped by SIGINT or SIGTERM (partial output removed).";

const long long kMaxId = 9223372036854775807LL;

void addCommonOptions(CLI::App& app, CommonOptions& options, bool withJson) {
    app.add_flag("-q,--quiet", options.quiet, "Print errors only, no summary line");
    app.add_flag("-v,--verbose", options.verbose, "Also show the library's log on standard error");
    app.add_option("--log-file", options.logFile,
                   "Write the library's log to this file (\"-\": standard error)");
    app.add_option("--log-level", options.logLevel, "Detail of the library's log (0 to 10)")
        ->check(wholeNumber(0, 10));
    if (withJson) app.add_flag("--json", options.json, "End with one JSON object, not a line");
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

std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        printError(e.what());
        std::cerr << "Run \"" << app.get_name() << " --help\" for the options.\n";
        return kExitUsage;
    }
    return std::nullopt;
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
