// Remote requests of "collect": the machine list, the parallel runs with a bounded number in
// flight, and one summary line per machine plus a total.
#include "RemoteCollect.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "CliSupport.h"
#include "host/Log.h"
#include "host/Tcp.h"
#include "host/Tls.h"
#include "service/RemoteRequest.h"
#include "tooling/ReplyWriter.h"

namespace fs = std::filesystem;

namespace cli {
namespace {

struct HostRun {
    host::Endpoint endpoint;
    std::string dir;
    std::ostringstream report;
    std::vector<std::string> failures;
    size_t files = 0;
    uint64_t bytes = 0;
    double seconds = 0;
};

bool readHostsFile(const std::string& path, std::vector<std::string>& out, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read the hosts file " + path;
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) continue;
        const size_t last = line.find_last_not_of(" \t\r");
        out.push_back(line.substr(first, last - first + 1));
    }
    if (in.bad()) {
        error = "cannot read the hosts file " + path + " to its end";
        return false;
    }
    return true;
}

// "host_port", with every character but letters, digits, "." and "-" replaced.
std::string folderName(const host::Endpoint& e) {
    std::string name;
    for (char c : e.host)
        name += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') ? c : '_';
    return name + "_" + std::to_string(e.port);
}

bool readWhole(const std::string& path, std::string& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf()) || in.bad()) {
        error = "cannot read the scrub patterns file " + path;
        return false;
    }
    out = text.str();
    return true;
}

void judge(const CollectRequest& request, const tooling::ReplyWriter& writer, HostRun& run) {
    if (writer.failureRecords() > 0)
        run.failures.push_back("the library reported a failure; its log on " + run.endpoint.host +
                               " tells why");
    for (const std::string& problem : writer.problems()) run.failures.push_back(problem);
    if (run.failures.empty() && writer.written().empty())
        run.failures.push_back(request.wantsJobLog() ? "no job log arrived"
                                                     : "no bundle arrived: the request collected "
                                                       "nothing");
}

void runOne(HostRun& run, const CollectRequest& request, const service::RequestValues& values,
            const std::shared_ptr<host::TlsContext>& tls, const service::RemoteLimits& limits,
            bool alone) {
    const auto start = std::chrono::steady_clock::now();
    std::error_code ec;
    fs::create_directories(run.dir, ec);
    if (ec || !fs::is_directory(run.dir) || ::access(run.dir.c_str(), W_OK | X_OK) != 0) {
        run.failures.push_back("cannot write into the output folder " + run.dir);
        return;
    }
    FILE* progress = alone && ::isatty(STDERR_FILENO) ? stderr : nullptr;
    tooling::ReplyWriter writer(run.dir, alone ? static_cast<std::ostream&>(std::cout) : run.report,
                                progress);
    std::string error;
    if (!service::runRemoteRequest(run.endpoint, tls, values, limits, writer, error))
        run.failures.push_back(error);
    writer.finish();
    judge(request, writer, run);
    run.files = writer.written().size();
    run.bytes = writer.bytesWritten();
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string summary(const HostRun& run) {
    char line[512];
    if (run.failures.empty()) {
        std::snprintf(line, sizeof line,
                      "collect: %s: done: %zu file(s), %llu bytes in %s (%.2f s)",
                      run.endpoint.text().c_str(), run.files,
                      static_cast<unsigned long long>(run.bytes), run.dir.c_str(), run.seconds);
        return line;
    }
    std::string text = "collect: " + run.endpoint.text() + ": FAILED: " + run.failures.front();
    if (run.failures.size() > 1)
        text += " (and " + std::to_string(run.failures.size() - 1) + " more problem(s))";
    return text;
}

}  // namespace

void RemoteOptions::addTo(CLI::App& app, const std::vector<CLI::Option*>& local) {
    auto* remote = app.add_option("--remote", remotes_,
                                  "Send the request to the sendlogs service at HOST:PORT "
                                  "(repeatable; files go into OUTDIR/HOST_PORT)")
                       ->allow_extra_args(false);
    auto* hosts = app.add_option("--hosts", hostsFile_,
                                 "File of HOST:PORT lines (\"#\" comments), as --remote")
                      ->check(CLI::ExistingFile);
    auto* ca = app.add_option("--ca", ca_, "CA certificate that signed the services' certificates")
                   ->check(CLI::ExistingFile);
    auto* cert =
        app.add_option("--cert", cert_, "This requester's certificate")->check(CLI::ExistingFile);
    auto* key =
        app.add_option("--key", key_, "This requester's private key")->check(CLI::ExistingFile);
    app.add_option("--parallel", parallel_, "Remote requests in flight at once")
        ->check(CLI::Range(1u, 256u));
    app.add_option("--connect-timeout", connectSeconds_, "Seconds to wait for a service to answer")
        ->check(CLI::Range(1u, 3600u));
    app.add_option("--idle-timeout", idleSeconds_,
                   "Seconds a service may stay silent before its request is given up")
        ->check(CLI::Range(1u, 86400u));
    for (CLI::Option* option : {remote, hosts}) {
        option->needs(ca)->needs(cert)->needs(key);
        for (CLI::Option* other : local) option->excludes(other);
    }
}

int RemoteOptions::run(const CollectRequest& request, const ScrubRuleList& rules,
                       const ReplacementMap& replacements, const std::string& outDir) const {
    std::vector<std::string> texts = remotes_;
    std::string error;
    if (!hostsFile_.empty() && !readHostsFile(hostsFile_, texts, error)) {
        std::cerr << "collect: " << error << "\n";
        return kExitUsage;
    }
    std::vector<HostRun> runs(texts.size());
    std::set<std::string> folders;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!host::parseEndpoint(texts[i], runs[i].endpoint, error)) {
            std::cerr << "collect: " << error << "\n";
            return kExitUsage;
        }
        runs[i].dir = outDir + "/" + folderName(runs[i].endpoint);
        if (!folders.insert(runs[i].dir).second) {
            std::cerr << "collect: " << texts[i] << " is listed twice\n";
            return kExitUsage;
        }
    }
    if (runs.empty()) {
        std::cerr << "collect: the hosts file lists no machine\n";
        return kExitUsage;
    }

    service::RequestValues values;
    values.clientId = request.clientId;
    values.jobId = request.jobId;
    values.jobIds = request.jobIds;
    values.fromTime = request.fromTime;
    values.toTime = request.toTime;
    values.options = request.options;
    values.extraOptions = request.extraOptions;
    values.commands = request.commands;
    values.extraNames = request.extraNames;
    values.additionalFolders = request.additionalFolders;
    values.scrubRules = rules;
    values.replacements = replacements;
    values.clientName = request.clientName;
    values.tagId = request.tagId;
    values.searchText = request.searchText;
    values.cassandraFiles = request.cassandraFiles;
    if (request.scrubPatternsFile) {
        std::string content;
        if (!readWhole(*request.scrubPatternsFile, content, error)) {
            std::cerr << "collect: " << error << "\n";
            return kExitFailed;
        }
        values.scrubPatterns = std::move(content);
    }
    // The record is checked once here, so a request over a limit fails before any machine
    // is asked.
    std::string frame;
    if (!service::encodeRequestFrame(values, frame, error)) {
        std::cerr << "collect: the request cannot be sent: " << error << "\n";
        return kExitFailed;
    }
    auto tls =
        host::TlsContext::create(host::TlsContext::Role::Requester, {ca_, cert_, key_}, error);
    if (!tls) {
        std::cerr << "collect: " << error << "\n";
        return kExitFailed;
    }
    service::RemoteLimits limits;
    limits.connect = std::chrono::seconds(connectSeconds_);
    limits.idle = std::chrono::seconds(idleSeconds_);

    const bool alone = runs.size() == 1;
    std::atomic<size_t> next{0};
    std::mutex printing;
    auto worker = [&] {
        for (size_t i = next++; i < runs.size(); i = next++) {
            HostRun& run = runs[i];
            runOne(run, request, values, tls, limits, alone);
            std::lock_guard<std::mutex> lock(printing);
            std::istringstream lines(run.report.str());
            for (std::string line; std::getline(lines, line);)
                std::cout << run.endpoint.text() << ": " << line << "\n";
            for (const std::string& failure : run.failures)
                std::cerr << "collect: " << run.endpoint.text() << ": " << failure << "\n";
            std::cout << summary(run) << "\n";
            std::cout.flush();
        }
    };
    std::vector<std::thread> threads;
    const size_t inFlight = std::min<size_t>(parallel_, runs.size());
    for (size_t i = 0; i < inFlight; ++i) threads.emplace_back(worker);
    for (std::thread& thread : threads) thread.join();

    size_t done = 0, files = 0;
    uint64_t bytes = 0;
    for (const HostRun& run : runs) {
        done += run.failures.empty() ? 1 : 0;
        files += run.files;
        bytes += run.bytes;
    }
    std::printf("collect: %s: %zu of %zu host(s) done, %zu file(s), %llu bytes written to %s\n",
                done == runs.size() ? "done" : "FAILED", done, runs.size(), files,
                static_cast<unsigned long long>(bytes), outDir.c_str());
    return done == runs.size() ? kExitOk : kExitFailed;
}

}  // namespace cli
