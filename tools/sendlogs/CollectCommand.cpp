// "sendlogs collect": runs one log-collection request in-process, the library on a second
// thread writing into one end of a socket pair, this thread decoding the other end; prints
// the reply records, writes the streamed files into OUTDIR and judges the outcome. With
// --remote the request goes to other machines instead (RemoteCollect.cpp).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "CliSupport.h"
#include "Command.h"
#include "RemoteCollect.h"
#include "RequestOptions.h"
#include "ScrubPatternLoader.h"
#include "collector/infoNLogsCollector.h"
#include "host/Log.h"
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

// Runs the request on a second thread and decodes its replies here. The library's ends of
// the socket are released when its thread finishes, which ends the decoding.
void runRequest(LoadedRequest& request, tooling::ReplyWriter& writer, std::string& decodeError,
                std::string& libraryError) {
    CTeSocket libraryEnd, requesterEnd;
    const CTeError pairError = CTeSocket::createPair(libraryEnd, requesterEnd);
    if (pairError.IsError()) {
        decodeError = "cannot create the socket pair: " + pairError.AsString();
        return;
    }
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
    if (!host::readReplies(requesterEnd.fd(), writer, decodeError) && decodeError.empty())
        decodeError = "the reply stream could not be decoded";
    requesterEnd = CTeSocket();  // a library still writing now fails instead of blocking
    library.join();
    writer.finish();
}

// Prints what went wrong; true when the request succeeded.
bool judge(const LoadedRequest& request, const tooling::ReplyWriter& writer,
           const std::string& decodeError, const std::string& libraryError) {
    bool ok = true;
    const std::string logFile = host::logFilePath();
    const std::string logHint = "; the library's log " +
                                (logFile.empty() ? std::string("(standard error)") : logFile) +
                                " tells why";
    auto fail = [&ok](const std::string& message) {
        std::cerr << "collect: " << message << "\n";
        ok = false;
    };
    if (writer.failureRecords() > 0) fail("the library reported a failure" + logHint);
    for (const std::string& problem : writer.problems()) fail(problem);
    if (!decodeError.empty()) fail("malformed reply stream: " + decodeError);
    if (!libraryError.empty()) fail("the library raised " + libraryError);
    if (writer.written().empty() && writer.problems().empty() && writer.failureRecords() == 0) {
        fail(request.values.wantsJobLog()
                 ? "no job log arrived" + logHint
                 : "no bundle arrived: the request collected nothing" + logHint);
    }
    return ok;
}

int runCollect(int argc, char** argv) {
    CLI::App app{
        "Run one log-collection request in-process, or on other machines' services with "
        "--remote, and write every file it sends into OUTDIR.",
        "sendlogs collect"};
    Target target;
    auto* sandbox = app.add_option("--sandbox", target.sandbox, "Sandbox folder to run against")
                        ->check(CLI::ExistingDirectory);
    auto* registry = app.add_option("--registry", target.registry, "Registry root to use")
                         ->check(CLI::ExistingDirectory);
    sandbox->excludes(registry);
    app.add_option("-o,--output", target.outDir, "Folder for the received files")->required();
    cli::RequestOptions options;
    options.addTo(app);
    cli::RemoteOptions remote;
    remote.addTo(app, {sandbox, registry});
    app.footer(
        "Exit status: 0 when the request ended without a failure record and every file "
        "arrived whole; 1 when the library reported a failure, a file was damaged or refused, "
        "or nothing arrived; 2 for a wrong command line.");
    if (auto code = cli::parseCommandLine(app, argc, argv)) return *code;

    LoadedRequest request;
    std::string error;
    if (!options.resolve(request.values, error)) {
        std::cerr << "collect: " << error << "\n";
        return cli::kExitUsage;
    }
    const bool scrub = (request.values.options & OPT_SCRUB_LOGS) != 0;
    if (request.values.scrubPatternsFile && !scrub)
        std::cerr << "collect: note: --scrub-patterns has no effect without --scrub\n";
    if (!request.values.scrubPatternsFile && scrub)
        std::cerr << "collect: note: the library refuses --scrub without --scrub-patterns\n";
    if (!pointAtRegistry(target, error) || !prepareOutDir(target.outDir, error) ||
        !cli::loadScrubPatterns(request.values.scrubPatternsFile, request.rules,
                                request.replacements, error)) {
        std::cerr << "collect: " << error << "\n";
        return cli::kExitFailed;
    }
    if (remote.wanted())
        return remote.run(request.values, request.rules, request.replacements, target.outDir);

    FILE* progress = ::isatty(STDERR_FILENO) ? stderr : nullptr;
    tooling::ReplyWriter writer(target.outDir, std::cout, progress);
    std::string decodeError, libraryError;
    runRequest(request, writer, decodeError, libraryError);
    std::cout.flush();
    const bool ok = judge(request, writer, decodeError, libraryError);
    std::printf("collect: %s: %zu file(s), %llu bytes written to %s\n", ok ? "done" : "FAILED",
                writer.written().size(), static_cast<unsigned long long>(writer.bytesWritten()),
                target.outDir.c_str());
    return ok ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace

SENDLOGS_COMMAND("collect", "run a log-collection request and write what it sends to a folder",
                 runCollect);
