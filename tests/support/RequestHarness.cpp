#include "support/RequestHarness.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "collector/RequestRunner.h"
#include "collector/infoNLogsCollector.h"
#include "host/Log.h"
#include "tooling/Sandbox.h"
#include "tooling/SandboxDiagnostics.h"

namespace harness {

const host::ReplyRecord* Reply::find(uint32_t code) const {
    const auto it =
        std::find_if(records.begin(), records.end(), [&](auto& r) { return r.code == code; });
    return it == records.end() ? nullptr : &*it;
}

bool Reply::hasFailure() const {
    return std::any_of(records.begin(), records.end(), [](auto& r) { return r.status == 1; });
}

namespace {

// The request runs on a thread owning every copy of the library end: the stream ends with it.
template <class Request>
Reply exchange(Request request) {
    Reply reply;
    CTeSocket libraryEnd, requesterEnd;
    if (CTeSocket::createPair(libraryEnd, requesterEnd).IsError()) return reply;
    std::thread worker([socket = std::move(libraryEnd), request]() mutable {
        CWyNetwork network(socket);
        request(socket, network);
        socket = CTeSocket();
    });
    MemorySink sink(reply);
    reply.decoded = host::readReplies(requesterEnd.fd(), sink, reply.decodeError);
    worker.join();
    return reply;
}

}  // namespace

Reply run(const Request& r) {
    return exchange([r](CTeSocket& socket, CWyNetwork& network) {
        gatherInfoNLogs(socket, 0, r.clientId, r.jobId, r.jobIds, r.fromTime, r.toTime, r.options,
                        r.extraOptions, r.commands, r.extraNames, r.additionalFolders, {},
                        r.scrubRules, r.replacements, r.clientName, r.tagId, r.searchText, &network,
                        r.scrubPatternsFilePath, nullptr, "");
    });
}

Reply runSteps(const Request& r, void (*steps)(infoNLogsCollector&), std::string* supportDir) {
    return exchange([r, steps, supportDir](CTeSocket& socket, CWyNetwork& network) {
        infoNLogsCollector collector(&socket, 0, r.clientId, r.jobId, r.jobIds, r.fromTime,
                                     r.toTime, r.options, r.extraOptions, r.commands, r.extraNames,
                                     r.additionalFolders, {}, r.scrubRules, r.replacements,
                                     r.clientName, r.tagId, r.searchText, &network,
                                     r.scrubPatternsFilePath, nullptr, "");
        runCollectorRequest(collector, &network, steps);
        if (supportDir) *supportDir = collector.supportDir();
    });
}

Installation::Installation(bool withJobResults)
    : logEnv_("SENDLOGS_LOG_FILE", registry.dir().file("library.log")) {
    libraryLog = registry.dir().file("library.log");
    host::setLogFilePath(libraryLog);
    logDir = registry.makeDir("Orvion/Log_Files");
    registry.setString("EventManager", "dEVLOGDIR", logDir);
    registry.setNumber("EventManager", "nDebugLevel", 10);
    registry.setString("Base", "sProductVersion", "11.32.4");
    registry.setString("Base", "sPhysicalMachine", "client01");
    registry.setString("Base", "dORVIONHOME", registry.makeDir("home"));
    if (withJobResults) {
        jobResultsDir = registry.makeDir("jobResults");
        registry.setString("Base", "dJOBRESULTSDIR", jobResultsDir);
    }
}

std::string Installation::log() const {
    return testenv::exists(libraryLog) ? testenv::readFile(libraryLog) : std::string();
}

std::vector<std::string> Installation::stagingDirs(const std::string& dir) {
    std::vector<std::string> found;
    for (const std::string& name : testenv::folderEntries(dir))
        if (name.rfind("Support_", 0) == 0) found.push_back(name);
    return found;
}

Sandbox::Sandbox(const std::vector<std::string>& cases, uint64_t logBytes)
    : registry_("ORVION_REGISTRY_ROOT", ""),
      instance_("ORVION_INSTANCE", ""),
      path_("PATH", getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"),
      logFile_("SENDLOGS_LOG_FILE", "") {
    tooling::SandboxOptions options;
    options.logBytes = logBytes;
    std::string error;
    if (!tooling::createSandbox(root, options, error) ||
        !tooling::useSandbox(root, libraryLog, error))
        throw std::runtime_error(error);
    for (const std::string& name : cases) enable(name);
}

std::string Sandbox::log() const {
    return testenv::exists(libraryLog) ? testenv::readFile(libraryLog) : std::string();
}

void Sandbox::enable(const std::string& name) const {
    std::string error;
    if (!tooling::enableSandboxCase(root, name, error)) throw std::runtime_error(error);
}

}  // namespace harness
