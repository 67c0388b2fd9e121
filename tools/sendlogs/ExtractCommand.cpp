// "sendlogs extract": the job, tag or time-window extraction of a log directory into one file
// of the user's choice, without a request.
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "CliSupport.h"
#include "Command.h"
#include "RequestOptions.h"
#include "ScrubPatternLoader.h"
#include "host/File.h"
#include "host/ReplacingFile.h"
#include "logselect/FilteredLogFiles.h"

namespace {

struct ExtractOptions {
    std::string logDir;
    long long job = 0;
    long long tag = 0;
    std::string from, to, search, machine, output;
    std::optional<std::string> scrubPatterns;
};

// The folder an output file goes into.
std::string outputFolder(const std::string& output) {
    const size_t slash = output.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : output.substr(0, slash);
}

std::string thisHostName() {
    char name[256] = {0};
    if (gethostname(name, sizeof name - 1) != 0 || !name[0]) return "localhost";
    return name;
}

int runExtract(int argc, char** argv) {
    CLI::App app{
        "Extract the lines of a job, a tag or a time window from a product log directory "
        "into one file.",
        "extract"};
    ExtractOptions o;
    app.add_option("--log-dir", o.logDir, "Product log directory")
        ->required()
        ->check(CLI::ExistingDirectory);
    auto* job = app.add_option("--job", o.job, "Job id")->check(CLI::PositiveNumber);
    auto* tag = app.add_option("--tag", o.tag, "Tag id")->check(CLI::PositiveNumber);
    auto* from = app.add_option("--from", o.from,
                                "Start of the window: epoch seconds or \"YYYY-MM-DD HH:MM:SS\"");
    auto* to = app.add_option("--to", o.to, "End of the window, as --from");
    app.add_option("--search", o.search, "Keep only lines containing this text (any case)");
    app.add_option("--scrub-patterns", o.scrubPatterns, "Scrub the lines with these patterns")
        ->check(CLI::ExistingFile);
    app.add_option("--machine", o.machine, "Machine name for the file banners (default: host)");
    app.add_option("-o,--output", o.output, "File to write")->required();
    app.footer(
        "Exit status: 0 done; 1 the output could not be written (nothing is kept), a selected "
        "log could not be read or a line had to be withheld; 2 a wrong command line.");
    if (auto code = cli::parseCommandLine(app, argc, argv)) return *code;

    if (!*job && !*tag && !*from && !*to) {
        fprintf(stderr, "extract: give --job, --tag or a window (--from, --to)\n");
        return cli::kExitUsage;
    }
    time_t fromTime = 0, toTime = 0;
    std::string error;
    if ((*from && !cli::parseRequestTime(o.from, fromTime, error)) ||
        (*to && !cli::parseRequestTime(o.to, toTime, error))) {
        fprintf(stderr, "extract: %s\n", error.c_str());
        return cli::kExitUsage;
    }
    if (o.machine.empty()) o.machine = thisHostName();

    ScrubRuleList rules;
    ReplacementMap replacements;
    if (!cli::loadScrubPatterns(o.scrubPatterns, rules, replacements, error)) {
        fprintf(stderr, "extract: %s\n", error.c_str());
        return cli::kExitFailed;
    }
    const bool scrub = o.scrubPatterns.has_value();

    // The output replaces a file only once it is complete, and never one of the logs it reads:
    // the folder's files are the input, whatever name or link leads there.
    if (host::sameFile(outputFolder(o.output), o.logDir)) {
        fprintf(stderr, "extract: refusing to write %s into the log directory it reads\n",
                o.output.c_str());
        return cli::kExitUsage;
    }
    host::ReplacingFile out;
    if (!out.open(o.output)) {
        perror(("extract: cannot create " + o.output).c_str());
        return cli::kExitFailed;
    }
    logselect::ExtractionTally tally;
    bool listed;
    if (o.job > 0 || o.tag > 0) {
        listed = logselect::extractJobLogs(out.get(), o.logDir.c_str(), o.job, {}, fromTime, toTime,
                                           o.machine.c_str(), "", o.search, o.tag, scrub, &rules,
                                           &replacements, tally);
    } else {
        listed =
            logselect::getWindowFromLogDir(out.get(), o.logDir, fromTime, toTime, o.machine.c_str(),
                                           o.search, scrub, &rules, &replacements, tally);
    }
    if (!listed) {
        fprintf(stderr, "extract: cannot list %s\n", o.logDir.c_str());
        return cli::kExitFailed;
    }
    const long size = ftell(out.get());
    if (tally.writeFailed || !out.commit()) {
        fprintf(stderr, "extract: cannot write %s; nothing was kept\n", o.output.c_str());
        return cli::kExitFailed;
    }
    for (const std::string& name : tally.stopped)
        fprintf(stderr, "extract: warning: %s was not read to its end (see the library log)\n",
                name.c_str());
    for (const std::string& name : tally.unreadable)
        fprintf(stderr, "extract: %s could not be read; its lines are missing\n", name.c_str());
    if (tally.redactedLines > 0)
        fprintf(stderr,
                "extract: %zu line(s) withheld (Masked_RedactedLine): a scrub rule could not be "
                "applied to them\n",
                tally.redactedLines);
    printf("extract: %ld bytes written to %s\n", size, o.output.c_str());
    return tally.unreadable.empty() && tally.redactedLines == 0 ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace

SENDLOGS_COMMAND("extract", "extract a job's, a tag's or a time window's log lines into a file",
                 runExtract);
