// "sendlogs scrub --patterns FILE SRC DEST": a scrubbed copy of one file or of a whole tree.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "CliSupport.h"
#include "Commands.h"
#include "Interrupt.h"
#include "ScrubPatternLoader.h"
#include "host/File.h"
#include "scrub/FileScrubber.h"
#include "scrub/LineScrubber.h"
#include "scrub/TreeScrubber.h"

namespace {

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The unfinished copy a stop signal leaves: a tree that did not exist before goes whole; of a
// file, the temporary copies that appeared beside it.
std::function<void()> partialCopyRemover(const std::string& destination, bool tree) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (tree) {
        if (fs::exists(destination, ec)) return {};
        return [destination] {
            std::error_code ignored;
            fs::remove_all(destination, ignored);
        };
    }
    const fs::path folder = fs::absolute(destination, ec).parent_path();
    auto temporaries = [folder] {
        std::set<std::string> names;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder, ignored))
            if (entry.path().filename().string().rfind(".sendlogs-", 0) == 0)
                names.insert(entry.path().string());
        return names;
    };
    return [before = temporaries(), temporaries] {
        for (const std::string& name : temporaries())
            if (before.count(name) == 0) ::unlink(name.c_str());
    };
}

struct ScrubOptions {
    std::optional<std::string> patterns;
    std::string source, destination, lintFile;
    bool force = false;
    int threads = 0;
};

int runScrub(ScrubOptions& o, const cli::CommonOptions& common) {
    if (!o.lintFile.empty()) return cli::checkPatternsFile(o.lintFile, common.quiet);
    if (!o.patterns || o.source.empty() || o.destination.empty())
        return cli::usageError("scrub: give --patterns FILE, SRC and DEST");
    const std::string& source = o.source;
    std::string& destination = o.destination;

    cli::applyCommonOptions(common, cli::LibraryLog::Discard);
    ScrubRuleList rules;
    ReplacementMap replacements;
    std::string error;
    if (!cli::loadScrubPatterns(o.patterns, rules, replacements, error)) {
        cli::printError("scrub: " + error);
        return cli::kExitFailed;
    }
    const bool tree = isDirectory(source);
    if (!tree && isDirectory(destination)) {
        destination = FXPath::Append(destination, CTePath::GetBaseName(source), 0);
    }
    // Never over the source: a copy written there would leave nothing of the original.
    if (tree ? host::isWithinFolder(destination, source) : host::sameFile(source, destination))
        return cli::usageError(
            "scrub: refusing to write into " + destination + ": it is " +
            (tree ? "the source folder or inside it" : "the source file itself"));
    if (!tree && !o.force && ::access(destination.c_str(), F_OK) == 0)
        return cli::usageError(destination + " exists; give --force to replace it");
    cli::InterruptGuard interrupt(partialCopyRemover(destination, tree),
                                  cli::InterruptGuard::Stop::Exit);
    const auto started = std::chrono::steady_clock::now();
    bool ok;
    scrub::TreeScrubSummary summary;
    std::optional<cli::WrittenBytesProgress> progress;
    progress.emplace("scrub", cli::wantProgress(common, false));
    if (tree) {
        scrubFiles scrubber(o.threads > 0 ? o.threads : scrub::scrubThreadCount(), 1800000);
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
    progress.reset();
    const char* hint = common.logFile.empty() && !common.verbose
                           ? " (run with --log-file FILE for the reasons)"
                           : " (see the library's log)";
    if (!ok)
        cli::printError("scrub: " + source + " could not be scrubbed into " + destination + hint);
    if (summary.leftOut > 0)
        cli::printError("scrub: " + std::to_string(summary.leftOut) +
                        " entries left out: not regular files, or links leading out of the "
                        "source" +
                        hint);
    if (summary.unreadable > 0)
        cli::printError("scrub: " + std::to_string(summary.unreadable) +
                        " file(s) could not be read or decompressed; no copy" + hint);
    if (summary.redactedLines > 0)
        cli::printError("scrub: " + std::to_string(summary.redactedLines) +
                        " line(s) withheld (Masked_RedactedLine): a rule could not be applied "
                        "to them" +
                        hint);
    cli::Summary line;
    line.command = "scrub";
    line.status = ok && summary.unreadable == 0 && summary.redactedLines == 0 ? cli::kExitOk
                                                                              : cli::kExitFailed;
    line.files = static_cast<long long>(summary.copies);
    line.linesWithheld = static_cast<long long>(summary.redactedLines);
    line.valuesMasked = static_cast<long long>(scrub::maskedValueCount());
    line.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    line.output = destination;
    cli::printSummary(line, common);
    return line.status;
}

}  // namespace

namespace cli {

void addScrubCommand(Program& program) {
    auto o = std::make_shared<ScrubOptions>();
    CLI::App* app = addCommand(
        program, program.app, "scrub",
        "write a scrubbed copy of a log file or directory tree\n"
        "Writes a scrubbed copy of a log file or of a directory tree: every value of the "
        "patterns file is replaced by its masked name; compressed .bz2 files of a tree are "
        "decompressed first. With --check-patterns, checks a patterns file instead.",
        std::string("A copy is written under a temporary name and renamed when complete. The "
                    "patterns file format is described in docs/patterns.md.\n") +
            kExitStatusHelp +
            " 1 also when a file could not be read or decompressed or a line had to be "
            "withheld; 2 also for a destination that is the source or lies inside it, and for "
            "--check-patterns findings.\n"
            "Examples:\n"
            "  sendlogs scrub --patterns patterns.txt /var/log/product scrubbed/\n"
            "  sendlogs scrub --check-patterns patterns.txt",
        [o, &common = program.common] { return runScrub(*o, common); });
    auto* check = app->add_option("--check-patterns", o->lintFile,
                                  "Check a patterns file (expressions, hints, names) and exit")
                      ->check(CLI::ExistingFile);
    app->add_option("--patterns", o->patterns, "Scrub patterns file (one rule per line)")
        ->excludes(check);
    app->add_option("SRC", o->source, "Log file or directory to scrub");
    app->add_option("DEST", o->destination,
                    "Copy to write: a file (or an existing directory) for a file, a new or "
                    "existing directory for a tree");
    app->add_option("--threads", o->threads,
                    "Workers of a tree scrub (default: the registry's ScrubMaxThreadCount, else "
                    "hardware threads minus one)")
        ->check(wholeNumber(1, scrub::kMaxScrubThreads));
    app->add_flag("-f,--force", o->force, "Replace an existing destination file");
    addJsonOption(*app, program.common);
}

}  // namespace cli
