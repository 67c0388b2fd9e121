// What every command of this program shares: the exit statuses, the options every command
// takes (-q, -v, --log-file, --log-level, --json), CLI11 set-up with one error prefix, the
// value checks whose messages a person reads at a glance, and the closing summary line.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>

namespace cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitNothing = 3,  // the command ran, but its selection held nothing
};

// The exit statuses as every command's help lists them.
extern const char* const kExitStatusHelp;

// Where the library's own log goes when the command line does not say.
enum class LibraryLog { Installation, Discard };

struct CommonOptions {
    bool quiet = false;
    bool verbose = false;
    bool json = false;
    std::string logFile;  // "-": standard error
    int logLevel = -1;    // -1: the installation's level
};

// Adds -q, -v, --log-file, --log-level (and --json where the command has a summary).
void addCommonOptions(CLI::App& app, CommonOptions& options, bool withJson = true);
// Points the library's log where the options say; defaultLog applies without --log-file.
void applyCommonOptions(const CommonOptions& options, LibraryLog defaultLog);

// Parses argv (argv[0] is the command's name). Returns an exit code when the program must
// stop here (help printed: 0; bad command line: 2, with the reason on stderr), nothing when
// the command should run.
std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv);

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
    double seconds = 0;
    std::string output;  // where the result went ("-": standard output)
};
// Prints the summary on stdout, or on stderr when stdout carries the command's data; nothing
// with -q unless --json.
void printSummary(const Summary& summary, const CommonOptions& options);
std::string jsonString(const std::string& text);

}  // namespace cli
