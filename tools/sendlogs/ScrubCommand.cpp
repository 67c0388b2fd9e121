// "sendlogs scrub --patterns FILE SRC DEST": a scrubbed copy of one file or of a whole tree.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "CliSupport.h"
#include "Command.h"
#include "ScrubPatternLoader.h"
#include "host/File.h"
#include "host/Log.h"
#include "scrub/FileScrubber.h"
#include "scrub/TreeScrubber.h"

namespace {

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int runScrub(int argc, char** argv) {
    CLI::App app{
        "Write a scrubbed copy of a log file or of a directory tree: every value of the "
        "patterns file is replaced by its masked name; compressed .bz2 files of a tree are "
        "decompressed first.",
        "scrub"};
    std::optional<std::string> patterns;
    std::string source, destination, logFile;
    int threads = 0;
    app.add_option("--patterns", patterns, "Scrub patterns file (one rule per line)")->required();
    app.add_option("SRC", source, "Log file or directory to scrub")->required();
    app.add_option("DEST", destination,
                   "Copy to write: a file (or an existing directory) for a file, a new or "
                   "existing directory for a tree")
        ->required();
    app.add_option("--threads", threads,
                   "Workers of a tree scrub (default: the registry's ScrubMaxThreadCount, else "
                   "hardware threads minus one)")
        ->check(CLI::Range(1, scrub::kMaxScrubThreads));
    app.add_option("--log", logFile, "Write the library's log to this file (default: none)");
    if (auto code = cli::parseCommandLine(app, argc, argv)) return *code;

    host::setLogFilePath(logFile);
    ScrubRuleList rules;
    ReplacementMap replacements;
    std::string error;
    if (!cli::loadScrubPatterns(patterns, rules, replacements, error)) {
        std::fprintf(stderr, "scrub: %s\n", error.c_str());
        return cli::kExitFailed;
    }
    const auto started = std::chrono::steady_clock::now();
    bool ok;
    if (isDirectory(source)) {
        scrubFiles scrubber(threads > 0 ? threads : scrub::scrubThreadCount(), 1800000);
        ok = scrubber.DoScrubbing(source.c_str(), destination.c_str(), &rules, &replacements);
    } else {
        if (isDirectory(destination)) {
            destination = FXPath::Append(destination, CTePath::GetBaseName(source), 0);
        }
        ok = scrubSingleLogFile(source.c_str(), destination.c_str(), &rules, &replacements);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!ok) {
        std::fprintf(stderr, "scrub: %s could not be scrubbed into %s%s\n", source.c_str(),
                     destination.c_str(),
                     logFile.empty() ? " (run with --log FILE for the reason)" : " (see the log)");
        return cli::kExitFailed;
    }
    std::printf("scrubbed %s into %s with %zu rules in %.2f s\n", source.c_str(),
                destination.c_str(), rules.size(), seconds);
    return cli::kExitOk;
}

}  // namespace

SENDLOGS_COMMAND("scrub", "write a scrubbed copy of a log file or directory tree", runScrub);
