// "sendlogs collect": runs one log-collection request in-process, the library on a second
// thread writing into one end of a socket pair, this thread decoding the other end; prints
// the reply records, writes the streamed files into OUTDIR and judges the outcome. With
// --remote the request goes to other machines instead (RemoteCollect.cpp).
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "CliSupport.h"
#include "Commands.h"
#include "Interrupt.h"
#include "RemoteCollect.h"
#include "RequestOptions.h"
#include "ScrubPatternLoader.h"
#include "collector/infoNLogsCollector.h"
#include "host/Log.h"
#include "host/Registry.h"
#include "scrub/LineScrubber.h"
#include "tooling/ReplyWriter.h"
#include "tooling/Sandbox.h"

namespace fs = std::filesystem;

namespace {

struct Target {
    std::string sandbox, registry, outDir;
};

struct LoadedRequest {
    cli::CollectRequest values;
    ScrubRuleList rules;
    ReplacementMap replacements;
};

bool pointAtRegistry(const Target& target, std::string& error) {
    if (!target.sandbox.empty()) return tooling::useSandbox(target.sandbox, "", error);
    if (!target.registry.empty()) {
        std::error_code ec;
        const std::string root = fs::absolute(target.registry, ec).lexically_normal().string();
        ::setenv("ORVION_REGISTRY_ROOT", root.c_str(), 1);
    }
    return true;
}

bool prepareOutDir(const std::string& dir, std::string& error) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
        error = "cannot use " + dir + " as the output folder" +
                (ec ? ": " + ec.message() : std::string(": not a folder"));
        return false;
    }
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        error = "cannot write into the output folder " + dir;
        return false;
    }
    return true;
}

// While the library collects, selects and bundles, the bytes written so far (this process's
// and its finished children's: tar, gzip); the first file of the reply ends that line and the
// writer's own transfer line takes over.
class CollectingProgress : public host::ReplySink {
  public:
    CollectingProgress(tooling::ReplyWriter& writer, bool enabled) : writer_(writer) {
        if (enabled) line_.emplace("collect: collecting", true);
    }
    void onRecord(const host::ReplyRecord& record) override { writer_.onRecord(record); }
    bool onFileBegin(const std::string& name, uint64_t size) override {
        line_.reset();
        return writer_.onFileBegin(name, size);
    }
    bool onFileData(const char* data, size_t size) override {
        return writer_.onFileData(data, size);
    }
    void onFileEnd(const host::StreamedFileInfo& info) override { writer_.onFileEnd(info); }

  private:
    tooling::ReplyWriter& writer_;
    std::optional<cli::WrittenBytesProgress> line_;
};

// Runs the request on a second thread and decodes its replies here. The library's ends of
// the socket are released when its thread finishes, which ends the decoding. A stop signal
// hangs up the requester's end: the library's next send fails and it removes its staging
// folder as for any requester that went away.
void runRequest(LoadedRequest& request, tooling::ReplyWriter& writer, bool progress,
                std::string& decodeError, std::string& libraryError, std::atomic<int>& requesterFd,
                const cli::InterruptGuard& interrupt) {
    CTeSocket libraryEnd, requesterEnd;
    const CTeError pairError = CTeSocket::createPair(libraryEnd, requesterEnd);
    if (pairError.IsError()) {
        decodeError = "cannot create the socket pair: " + pairError.AsString();
        return;
    }
    requesterFd = requesterEnd.fd();
    if (interrupt.signal()) ::shutdown(requesterEnd.fd(), SHUT_RDWR);
    const cli::CollectRequest& v = request.values;
    std::thread library([&request, &v, &libraryError, socket = std::move(libraryEnd)]() mutable {
        CWyNetwork network(socket);
        try {
            const char* clientName = v.clientName ? v.clientName->c_str() : nullptr;
            const char* patterns = v.scrubPatternsFile ? v.scrubPatternsFile->c_str() : nullptr;
            gatherInfoNLogs(socket, 0, v.clientId, v.jobId, v.jobIds, v.fromTime, v.toTime,
                            v.options, v.extraOptions, v.commands, v.extraNames,
                            v.additionalFolders, {}, request.rules, request.replacements,
                            clientName, v.tagId, v.searchText, &network, patterns, nullptr,
                            v.cassandraFiles);
        } catch (const std::exception& e) {
            libraryError = std::string("an exception: ") + e.what();
        } catch (...) {
            libraryError = "an exception of unknown type";
        }
        network = CWyNetwork();
        socket = CTeSocket();
    });
    CollectingProgress sink(writer, progress);
    if (!host::readReplies(requesterEnd.fd(), sink, decodeError) && decodeError.empty())
        decodeError = "the reply stream could not be decoded";
    requesterFd = -1;
    requesterEnd = CTeSocket();  // a library still writing now fails instead of blocking
    library.join();
    writer.finish();
}

// Prints what went wrong; the exit status.
int judge(const LoadedRequest& request, const tooling::ReplyWriter& writer,
          const std::string& decodeError, const std::string& libraryError) {
    int status = cli::kExitOk;
    const std::string logFile = host::logFilePath();
    const std::string logHint = "; the library's log " +
                                (logFile.empty() ? std::string("(standard error)") : logFile) +
                                " tells why";
    auto fail = [&status](const std::string& message) {
        cli::printError("collect: " + message);
        status = cli::kExitFailed;
    };
    if (writer.failureRecords() > 0) fail("the library reported a failure" + logHint);
    for (const std::string& problem : writer.problems()) fail(problem);
    if (!decodeError.empty()) fail("malformed reply stream: " + decodeError);
    if (!libraryError.empty()) fail("the library raised " + libraryError);
    if (status == cli::kExitOk && writer.written().empty()) {
        cli::printError(request.values.wantsJobLog()
                            ? "collect: no job log arrived: nothing was selected" + logHint
                            : "collect: no bundle arrived: the request collected nothing" +
                                  logHint);
        status = cli::kExitNothing;
    }
    return status;
}

// Without --sandbox, --registry or --remote the request reads this machine's registry, which
// must then exist.
bool haveInstallation(const Target& target, const cli::RemoteOptions& remote) {
    if (!target.sandbox.empty() || !target.registry.empty() || remote.wanted()) return true;
    return fs::is_directory(host::registryRoot());
}

// The command line of collect.
struct CollectOptions {
    Target target;
    cli::RequestOptions request;
    cli::RemoteOptions remote;
};

int runCollect(CollectOptions& o, const cli::CommonOptions& common) {
    const Target& target = o.target;
    const cli::RemoteOptions& remote = o.remote;
    LoadedRequest request;
    std::string error;
    if (!o.request.resolve(request.values, error)) return cli::usageError(error);
    if (!haveInstallation(target, remote))
        return cli::usageError("no installation at " + host::registryRoot() +
                               ": give --sandbox DIR, --registry ROOT or --remote HOST:PORT");
    const bool scrub = (request.values.options & OPT_SCRUB_LOGS) != 0;
    if (request.values.scrubPatternsFile && !scrub && !common.quiet)
        cli::printError("note: --scrub-patterns has no effect without --scrub");
    cli::applyCommonOptions(common, cli::LibraryLog::Installation);
    if (!pointAtRegistry(target, error) || !prepareOutDir(target.outDir, error) ||
        !cli::loadScrubPatterns(request.values.scrubPatternsFile, request.rules,
                                request.replacements, error)) {
        cli::printError("collect: " + error);
        return cli::kExitFailed;
    }
    if (remote.wanted())
        return remote.run(request.values, request.rules, request.replacements, target.outDir);

    const auto started = std::chrono::steady_clock::now();
    std::atomic<int> requesterFd{-1};
    cli::InterruptGuard interrupt(
        [&requesterFd] {
            const int fd = requesterFd.load();
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
        },
        cli::InterruptGuard::Stop::Wait);
    FILE* progress = ::isatty(STDERR_FILENO) && !common.quiet ? stderr : nullptr;
    std::ostringstream discarded;
    tooling::ReplyWriter writer(target.outDir, common.quiet || common.json ? discarded : std::cout,
                                progress);
    std::string decodeError, libraryError;
    runRequest(request, writer, progress != nullptr, decodeError, libraryError, requesterFd,
               interrupt);
    std::cout.flush();
    int status;
    if (interrupt.signal()) {
        cli::printError(
            "collect: stopped by a signal; unfinished files and the request's "
            "staging folder were removed");
        status = interrupt.exitCode(cli::kExitFailed);
    } else {
        status = judge(request, writer, decodeError, libraryError);
    }
    cli::Summary summary;
    summary.command = "collect";
    summary.status = status;
    summary.files = static_cast<long long>(writer.written().size());
    summary.bytes = static_cast<long long>(writer.bytesWritten());
    if (scrub) summary.valuesMasked = static_cast<long long>(scrub::maskedValueCount());
    summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    summary.output = target.outDir;
    cli::printSummary(summary, common);
    return status;
}

}  // namespace

namespace cli {

void addCollectCommand(Program& program) {
    auto o = std::make_shared<CollectOptions>();
    CLI::App* app = addCommand(
        program, program.app, "collect",
        "run a log-collection request and write what it sends to a folder\n"
        "Runs one log-collection request in-process, or on other machines' services with "
        "--remote, and writes every file it sends into OUTDIR.",
        std::string("Received files are written under a temporary name, renamed when whole and "
                    "checked, mode 0600, never over an existing file.\n") +
            kExitStatusHelp +
            " 1 also when a file arrived damaged; 3 when the request sent nothing.\n"
            "Examples:\n"
            "  sendlogs collect --sandbox sb --job 1001 -o out\n"
            "  sendlogs collect --sandbox sb --product-logs --from -2h --to now -o out",
        [o, &common = program.common] { return runCollect(*o, common); });
    auto* sandbox = app->add_option("--sandbox", o->target.sandbox, "Sandbox folder to run against")
                        ->check(CLI::ExistingDirectory);
    auto* registry = app->add_option("--registry", o->target.registry, "Registry root to use")
                         ->check(CLI::ExistingDirectory);
    sandbox->excludes(registry);
    app->add_option("-o,--output", o->target.outDir, "Folder for the received files")->required();
    o->request.addTo(*app);
    o->remote.addTo(*app, {sandbox, registry});
    addJsonOption(*app, program.common);
}

}  // namespace cli
