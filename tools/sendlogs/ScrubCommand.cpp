// "sendlogs scrub --patterns FILE SRC DEST": a scrubbed copy of one file or of a whole tree.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "CliSupport.h"
#include "Command.h"
#include "ScrubPatternLoader.h"
#include "host/File.h"
#include "host/Log.h"
#include "scrub/FileScrubber.h"
#include "scrub/LineScrubber.h"
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
    app.footer(
        "Exit status: 0 done; 1 a copy could not be written, a file could not be read or "
        "decompressed, or a line had to be withheld; 2 a wrong command line (also a "
        "destination that is the source or lies inside it).");
    if (auto code = cli::parseCommandLine(app, argc, argv)) return *code;

    host::setLogFilePath(logFile);
    ScrubRuleList rules;
    ReplacementMap replacements;
    std::string error;
    if (!cli::loadScrubPatterns(patterns, rules, replacements, error)) {
        std::fprintf(stderr, "scrub: %s\n", error.c_str());
        return cli::kExitFailed;
    }
    const bool tree = isDirectory(source);
    if (!tree && isDirectory(destination)) {
        destination = FXPath::Append(destination, CTePath::GetBaseName(source), 0);
    }
    // Never over the source: a copy written there would leave nothing of the original.
    if (tree ? host::isWithinFolder(destination, source) : host::sameFile(source, destination)) {
        std::fprintf(stderr, "scrub: refusing to write into %s: it is %s\n", destination.c_str(),
                     tree ? "the source folder or inside it" : "the source file itself");
        return cli::kExitUsage;
    }
    const auto started = std::chrono::steady_clock::now();
    bool ok;
    scrub::TreeScrubSummary summary;
    if (tree) {
        scrubFiles scrubber(threads > 0 ? threads : scrub::scrubThreadCount(), 1800000);
        ok = scrubber.DoScrubbing(source.c_str(), destination.c_str(), &rules, &replacements);
        summary = scrubber.summary();
    } else {
        std::unique_ptr<scrub::LineScrubber> scrubber =
            scrub::makeLineScrubber(&rules, &replacements);
        ok = scrub::scrubFilesInto({source}, destination, scrubber.get()) ==
             scrub::CopyOutcome::Written;
        summary.copies = ok ? 1 : 0;
        summary.redactedLines = scrubber ? scrubber->redactedLines() : 0;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const char* hint =
        logFile.empty() ? " (run with --log FILE for the reasons)" : " (see the log)";
    if (!ok) {
        std::fprintf(stderr, "scrub: %s could not be scrubbed into %s%s\n", source.c_str(),
                     destination.c_str(), hint);
        return cli::kExitFailed;
    }
    std::printf("scrubbed %s into %s with %zu rules in %.2f s: %zu cop%s\n", source.c_str(),
                destination.c_str(), rules.size(), seconds, summary.copies,
                summary.copies == 1 ? "y" : "ies");
    if (summary.leftOut > 0)
        std::fprintf(stderr,
                     "scrub: %zu entr%s left out: not regular files, or links leading "
                     "out of the source%s\n",
                     summary.leftOut, summary.leftOut == 1 ? "y" : "ies", hint);
    if (summary.unreadable > 0)
        std::fprintf(stderr, "scrub: %zu file(s) could not be read or decompressed; no copy%s\n",
                     summary.unreadable, hint);
    if (summary.redactedLines > 0)
        std::fprintf(stderr,
                     "scrub: %zu line(s) withheld (Masked_RedactedLine): a rule could not be "
                     "applied to them%s\n",
                     summary.redactedLines, hint);
    return summary.unreadable == 0 && summary.redactedLines == 0 ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace

SENDLOGS_COMMAND("scrub", "write a scrubbed copy of a log file or directory tree", runScrub);
