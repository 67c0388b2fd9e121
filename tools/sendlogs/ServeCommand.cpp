// "sendlogs serve": the network service of this machine. Answers log-collection requests of
// requesters holding a certificate the CA signed, until SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "CliSupport.h"
#include "Commands.h"
#include "host/Log.h"
#include "service/RequestRecord.h"
#include "service/Service.h"
#include "tooling/Sandbox.h"

namespace fs = std::filesystem;

namespace {

struct ServeOptions {
    std::string listen, sandbox, registry, logFile;
    unsigned requestSeconds = 7200, idleSeconds = 60, graceSeconds = 30;
    service::ServiceSettings settings;
    unsigned long long recordBytes = settings.maxRecordBytes;
};

bool pointAtInstallation(const ServeOptions& o, service::ServiceSettings& s, std::string& error) {
    if (!o.sandbox.empty()) {
        if (!tooling::useSandbox(o.sandbox, o.logFile, error)) return false;
        // A sandbox carries its own certificates; explicit files take precedence.
        const std::string tls = fs::absolute(o.sandbox).string() + "/tls/";
        if (s.tls.ca.empty()) s.tls.ca = tls + "ca.pem";
        if (s.tls.cert.empty()) s.tls.cert = tls + "server.pem";
        if (s.tls.key.empty()) s.tls.key = tls + "server.key";
        return true;
    }
    if (!o.registry.empty()) {
        std::error_code ec;
        const std::string root = fs::absolute(o.registry, ec).lexically_normal().string();
        ::setenv("ORVION_REGISTRY_ROOT", root.c_str(), 1);
    }
    if (!o.logFile.empty()) ::setenv("SENDLOGS_LOG_FILE", o.logFile.c_str(), 1);
    if (s.tls.ca.empty() || s.tls.cert.empty() || s.tls.key.empty()) {
        error = "--ca, --cert and --key are needed (a --sandbox provides its own)";
        return false;
    }
    return true;
}

// Waits for SIGTERM or SIGINT, which every thread of the process keeps blocked, so that
// they arrive here and nowhere else.
int waitForStopSignal(const sigset_t& signals) {
    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    return received;
}

int runServe(ServeOptions& o, const cli::CommonOptions& common) {
    service::ServiceSettings& s = o.settings;
    const unsigned long long recordBytes = o.recordBytes;
    o.logFile = common.logFile == "-" ? "/dev/stderr" : common.logFile;
    if (common.logLevel >= 0) host::setLogLevel(common.logLevel);

    std::string error;
    if (!host::parseEndpoint(o.listen, s.listen, error, true)) {
        return cli::usageError(error);
    }
    s.requestTimeLimit = std::chrono::seconds(o.requestSeconds);
    s.idleTimeLimit = std::chrono::seconds(o.idleSeconds);
    s.shutdownGrace = std::chrono::seconds(o.graceSeconds);
    s.maxRecordBytes = static_cast<size_t>(recordBytes);
    if (!pointAtInstallation(o, s, error)) {
        cli::printError("serve: " + error);
        return cli::kExitFailed;
    }

    // Blocked before any thread starts, so every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    service::Service service(s);
    if (!service.start(error)) {
        cli::printError("serve: cannot start: " + error);
        return cli::kExitFailed;
    }
    const std::string log = host::logFilePath();
    std::printf("serve: listening on %s port %u (log: %s)\n", s.listen.host.c_str(), service.port(),
                log.empty() ? "standard error" : log.c_str());
    std::fflush(stdout);

    const int signal = waitForStopSignal(stopSignals);
    std::printf("serve: %s received, stopping\n", signal == SIGTERM ? "SIGTERM" : "SIGINT");
    std::fflush(stdout);
    service.stop();
    const service::ServiceStats stats = service.stats();
    std::printf("serve: stopped after %llu request(s), %llu refused, %llu rejected, %llu cut\n",
                static_cast<unsigned long long>(stats.started),
                static_cast<unsigned long long>(stats.refused),
                static_cast<unsigned long long>(stats.rejected),
                static_cast<unsigned long long>(stats.cut));
    return cli::kExitOk;
}

}  // namespace

namespace cli {

void addServeCommand(Program& program) {
    auto o = std::make_shared<ServeOptions>();
    service::ServiceSettings& s = o->settings;
    CLI::App* app = addCommand(
        program, program.app, "serve",
        "answer log-collection requests over TLS (serve --listen ADDR:PORT)\n"
        "Answers log-collection requests over TLS; requesters must hold a certificate the CA "
        "signed. Runs until SIGTERM or SIGINT.",
        "Exit status: 0 after a clean stop; 1 when the service cannot start; 2 for a wrong "
        "command line.\n"
        "Example:\n  sendlogs serve --listen 127.0.0.1:7443 --sandbox sb",
        [o, &common = program.common] { return runServe(*o, common); });
    app->add_option("--listen", o->listen, "Address and port to listen on (ADDR:PORT; port 0: any)")
        ->required();
    auto* sandbox = app->add_option("--sandbox", o->sandbox, "Sandbox folder to serve")
                        ->check(CLI::ExistingDirectory);
    auto* registry = app->add_option("--registry", o->registry, "Registry root to serve")
                         ->check(CLI::ExistingDirectory);
    sandbox->excludes(registry);
    app->add_option("--ca", s.tls.ca, "CA certificate that signs the requesters' certificates")
        ->check(CLI::ExistingFile);
    app->add_option("--cert", s.tls.cert, "This service's certificate")->check(CLI::ExistingFile);
    app->add_option("--key", s.tls.key, "This service's private key")->check(CLI::ExistingFile);
    app->add_option("--max-concurrent", s.maxConcurrent, "Requests served at once")
        ->check(CLI::Range(1u, 256u));
    app->add_option("--max-waiting", s.maxWaiting,
                    "Connections that may wait for a free worker; more are closed")
        ->check(CLI::Range(0u, 4096u));
    app->add_option("--request-time-limit", o->requestSeconds,
                    "Seconds a request may take, from its connection to its end")
        ->check(CLI::Range(1u, 7u * 86400u));
    app->add_option("--idle-time-limit", o->idleSeconds,
                    "Seconds a requester may stay silent or stop reading")
        ->check(CLI::Range(1u, 86400u));
    app->add_option("--max-record-bytes", o->recordBytes, "Largest request record accepted")
        ->check(CLI::Range(1024ull, static_cast<unsigned long long>(service::kMaxRecordBytes)));
    app->add_option("--shutdown-grace", o->graceSeconds,
                    "Seconds running requests may finish after SIGTERM before they are cut")
        ->check(CLI::Range(0u, 86400u));
}

}  // namespace cli
