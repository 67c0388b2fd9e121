// What every command of this program shares: the exit statuses, the options every command
// takes (-q, -v, --log-file, --log-level, and --json where a command has a summary), one error
// prefix, the value checks whose messages a person reads at a glance, the progress line and
// the closing summary line.
#pragma once

#include <CLI/CLI.hpp>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitNothing = 3,  // the command ran, but its selection held nothing
};

// The exit statuses as every command's help lists them.
extern const char* const kExitStatusHelp;
// The options every command takes, as each command's help names them.
extern const char* const kGlobalOptionsHelp;

// Where the library's own log goes when the command line does not say.
enum class LibraryLog { Installation, Discard };

struct CommonOptions {
    bool quiet = false;
    bool verbose = false;
    bool json = false;
    std::string logFile;  // "-": standard error
    int logLevel = -1;    // -1: the installation's level
};

// Adds -q, -v, --log-file and --log-level to the program.
void addGlobalOptions(CLI::App& program, CommonOptions& options);
// Adds --json to a command that ends with a summary.
void addJsonOption(CLI::App& command, CommonOptions& options);
// Points the library's log where the options say; defaultLog applies without --log-file.
void applyCommonOptions(const CommonOptions& options, LibraryLog defaultLog);

// "sendlogs: <message>" on standard error.
void printError(const std::string& message);
// printError, then the usage status.
int usageError(const std::string& message);

// A whole number from min to max, with a message that names the range in plain words.
CLI::Validator wholeNumber(long long min, long long max);
extern const long long kMaxId;

// A progress line on standard error for a step that moves bytes: amount and rate, redrawn at
// most five times a second and cleared at the end. Does nothing when disabled.
class ProgressLine {
  public:
    ProgressLine(std::string label, bool enabled);
    ~ProgressLine() { finish(); }
    void update(uint64_t bytes);
    void finish();  // clears the line

  private:
    std::string label_;
    bool enabled_;
    bool shown_ = false;
    double started_;
    double drawn_ = 0;
};
// A progress line for work that counts no bytes of its own (sandbox creation, a scrub): a
// thread redraws it from the bytes this process has written since it began, as the kernel
// counts them. Does nothing when disabled or when the count cannot be read.
class WrittenBytesProgress {
  public:
    WrittenBytesProgress(std::string label, bool enabled);
    ~WrittenBytesProgress();  // stops the thread and clears the line
    WrittenBytesProgress(const WrittenBytesProgress&) = delete;
    WrittenBytesProgress& operator=(const WrittenBytesProgress&) = delete;

  private:
    void run(uint64_t start);

    ProgressLine line_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};
// Progress is for a person at a terminal: standard error is one, it is not shared with data on
// the same terminal, and -q was not given.
bool wantProgress(const CommonOptions& options, bool dataOnStdout);

// The closing line of a command, and the same fields as one JSON object with --json. Counts
// a command does not know stay negative and are left out.
struct Summary {
    std::string command;
    int status = kExitOk;
    long long files = -1;
    long long bytes = -1;
    long long linesKept = -1;
    long long linesWithheld = -1;  // dropped by the scrubber because a rule could not apply
    long long valuesMasked = -1;   // replacements the scrubber made on the lines kept
    double seconds = 0;
    std::string output;  // where the result went ("-": standard output)
};
// Prints the summary on stdout, or on stderr when stdout carries the command's data; nothing
// with -q unless --json.
void printSummary(const Summary& summary, const CommonOptions& options);
std::string jsonString(const std::string& text);

}  // namespace cli
