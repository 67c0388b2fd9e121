// "sendlogs extract": the job, tag or time-window extraction of a log directory into one file
// of the user's choice, without a request.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "CliSupport.h"
#include "Commands.h"
#include "Interrupt.h"
#include "RequestOptions.h"
#include "ScrubPatternLoader.h"
#include "host/File.h"
#include "host/ReplacingFile.h"
#include "logselect/FilteredLogFiles.h"
#include "scrub/LineScrubber.h"

namespace {

struct ExtractOptions {
    std::string logDir;
    long long job = 0;
    long long tag = 0;
    std::string from, to, search, machine, output;
    std::optional<std::string> scrubPatterns;
    bool force = false;
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

// Counts what passes through to the real stream: the summary's bytes and lines.
struct CountingSink {
    FILE* target;
    cli::ProgressLine* progress;
    uint64_t bytes = 0;
    uint64_t lines = 0;

    static ssize_t write(void* cookie, const char* data, size_t size) {
        auto* self = static_cast<CountingSink*>(cookie);
        if (std::fwrite(data, 1, size, self->target) != size) return -1;
        self->bytes += size;
        self->lines += static_cast<uint64_t>(std::count(data, data + size, '\n'));
        self->progress->update(self->bytes);
        return static_cast<ssize_t>(size);
    }
    // A stream that writes through this sink; closing it leaves the target open.
    FILE* open() {
        cookie_io_functions_t io{};
        io.write = &CountingSink::write;
        return ::fopencookie(this, "w", io);
    }
};

int runExtract(ExtractOptions& o, const cli::CommonOptions& common) {
    const bool force = o.force;
    if (o.job == 0 && o.tag == 0 && o.from.empty())
        return cli::usageError("extract: give --job, --tag or a window (--from and --to)");
    time_t fromTime = 0, toTime = 0;
    std::string error;
    if (!o.from.empty() && !cli::resolveWindow(o.from, o.to, fromTime, toTime, error))
        return cli::usageError(error);
    const bool toStdout = o.output == "-";
    // The output replaces a file only once it is complete, and never one of the logs it reads:
    // the folder's files are the input, whatever name or link leads there.
    if (!toStdout && host::sameFile(outputFolder(o.output), o.logDir))
        return cli::usageError("refusing to write " + o.output +
                               " into the log directory it reads");
    if (!toStdout && !force && ::access(o.output.c_str(), F_OK) == 0)
        return cli::usageError(o.output + " exists; give --force to replace it");
    if (o.machine.empty()) o.machine = thisHostName();
    cli::applyCommonOptions(common, cli::LibraryLog::Discard);

    ScrubRuleList rules;
    ReplacementMap replacements;
    if (!cli::loadScrubPatterns(o.scrubPatterns, rules, replacements, error)) {
        cli::printError("extract: " + error);
        return cli::kExitFailed;
    }
    const bool scrub = o.scrubPatterns.has_value();

    const auto started = std::chrono::steady_clock::now();
    host::ReplacingFile out;
    if (!toStdout && !out.open(o.output)) {
        cli::printError("extract: cannot create " + o.output + ": " + std::strerror(errno));
        return cli::kExitFailed;
    }
    // A stop signal takes the unfinished output with it.
    cli::InterruptGuard interrupt(
        [&out] {
            if (!out.temporary().empty()) ::unlink(out.temporary().c_str());
        },
        cli::InterruptGuard::Stop::Exit);
    cli::ProgressLine progress("extract", cli::wantProgress(common, toStdout));
    CountingSink sink{toStdout ? stdout : out.get(), &progress};
    FILE* counted = sink.open();
    logselect::ExtractionTally tally;
    bool listed;
    if (o.job > 0 || o.tag > 0) {
        listed = logselect::extractJobLogs(counted, o.logDir.c_str(), o.job, {}, fromTime, toTime,
                                           o.machine.c_str(), "", o.search, o.tag, scrub, &rules,
                                           &replacements, tally);
    } else {
        listed =
            logselect::getWindowFromLogDir(counted, o.logDir, fromTime, toTime, o.machine.c_str(),
                                           o.search, scrub, &rules, &replacements, tally);
    }
    const bool flushed = counted != nullptr && std::fclose(counted) == 0;
    progress.finish();
    if (!listed) {
        cli::printError("extract: cannot list " + o.logDir);
        return cli::kExitFailed;
    }
    const bool written =
        flushed && !tally.writeFailed && (toStdout ? std::fflush(stdout) == 0 : out.commit(force));
    if (!written) {
        cli::printError("extract: cannot write " + o.output + ": " + std::strerror(errno) +
                        (toStdout ? "" : "; nothing was kept"));
        return cli::kExitFailed;
    }
    for (const std::string& name : tally.stopped)
        cli::printError("extract: warning: " + name +
                        " was not read to its end (see the library log)");
    for (const std::string& name : tally.unreadable)
        cli::printError("extract: " + name + " could not be read; its lines are missing");
    if (tally.redactedLines > 0)
        cli::printError("extract: " + std::to_string(tally.redactedLines) +
                        " line(s) withheld (Masked_RedactedLine): a scrub rule could not be "
                        "applied to them");
    cli::Summary summary;
    summary.command = "extract";
    summary.status = !tally.unreadable.empty() || tally.redactedLines > 0 ? cli::kExitFailed
                     : sink.bytes == 0                                    ? cli::kExitNothing
                                                                          : cli::kExitOk;
    summary.files = 1;
    summary.bytes = static_cast<long long>(sink.bytes);
    summary.linesKept = static_cast<long long>(sink.lines);
    summary.linesWithheld = static_cast<long long>(tally.redactedLines);
    if (scrub) summary.valuesMasked = static_cast<long long>(scrub::maskedValueCount());
    summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    summary.output = o.output;
    cli::printSummary(summary, common);
    return summary.status;
}

}  // namespace

namespace cli {

void addExtractCommand(Program& program) {
    auto o = std::make_shared<ExtractOptions>();
    CLI::App* app = addCommand(
        program, program.app, "extract",
        "extract a job's, a tag's or a time window's log lines into a file\n"
        "Extracts the lines of a job, a tag or a time window from a product log directory into "
        "one file.",
        std::string("The output is written under a temporary name and renamed when complete "
                    "(mode 0600).\n") +
            kExitStatusHelp +
            " 1 also when a selected log could not be read or a line had to be withheld.\n"
            "Examples:\n"
            "  sendlogs extract --log-dir /var/log/product --job 1001 -o job1001.log\n"
            "  sendlogs extract --log-dir logs --from yesterday --to now --search error -o -",
        [o, &common = program.common] { return runExtract(*o, common); });
    app->add_option("--log-dir", o->logDir, "Product log directory")
        ->required()
        ->check(CLI::ExistingDirectory);
    auto* job = app->add_option("--job", o->job, "Job id")->check(wholeNumber(1, kMaxId));
    app->add_option("--tag", o->tag, "Tag id")->check(wholeNumber(1, kMaxId))->excludes(job);
    addWindowOptions(*app, o->from, o->to);
    app->add_option("--search", o->search, "Keep only lines containing this text (any case)");
    app->add_option("--scrub-patterns", o->scrubPatterns, "Scrub the lines with these patterns")
        ->check(CLI::ExistingFile);
    app->add_option("--machine", o->machine, "Machine name for the file banners (default: host)");
    app->add_option("-o,--output", o->output, "File to write (\"-\": standard output)")->required();
    app->add_flag("-f,--force", o->force, "Replace an existing output file");
    addJsonOption(*app, program.common);
}

}  // namespace cli
