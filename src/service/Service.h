// The network service: accepts requesters over TLS with mutual certificates, reads one
// request record per connection and runs the request with the connection as its socket,
// on a bounded pool of workers. Documented in docs/service.md.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/Tcp.h"
#include "host/Tls.h"

namespace service {

using Millis = std::chrono::milliseconds;

// Limits and files of a service; every limit has a safe default.
struct ServiceSettings {
    host::Endpoint listen;  // port 0: any free port (see Service::port)
    host::TlsFiles tls;
    unsigned maxConcurrent = 4;  // requests served at once: the number of workers
    unsigned maxWaiting = 16;    // connections waiting while every worker is busy; more are closed
    Millis requestTimeLimit = std::chrono::hours(2);  // from accept to the end of the request
    Millis idleTimeLimit = std::chrono::seconds(60);  // the longest wait for the requester
    size_t maxRecordBytes = 4 << 20;                  // largest request record accepted
    Millis shutdownGrace = std::chrono::seconds(30);  // running requests may finish this long
};

// Counters of a running service, for its owner and the tests.
struct ServiceStats {
    uint64_t accepted = 0;     // TCP connections taken
    uint64_t turnedAway = 0;   // closed at once: too many waiting
    uint64_t refused = 0;      // TLS handshake failed (no or bad certificate, not TLS)
    uint64_t rejected = 0;     // the request record was malformed or over a limit
    uint64_t started = 0;      // requests handed to the library
    uint64_t finished = 0;     // of those, returned from the library
    uint64_t cut = 0;          // connections cut at the time limit or at shutdown
    unsigned waiting = 0;      // accepted, not yet with a worker
    unsigned busyWorkers = 0;  // workers with a connection
    uint64_t closed = 0;       // connections completely handled (any outcome)
};

class Service {
  public:
    explicit Service(ServiceSettings settings);
    ~Service();  // stop()
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Loads the certificates, listens and starts the workers. False with a reason.
    bool start(std::string& error);
    uint16_t port() const { return port_; }
    // Stops taking connections; connections still waiting are closed and requests still in
    // their handshake or record are cut at once; running requests get the grace period,
    // then their connections are cut; returns when every worker has finished (a cut
    // request's teardown removes its staging folder). Idempotent.
    void stop();

    ServiceStats stats() const;
    // Waits until ready(stats) holds or the timeout passes; true when it holds.
    bool waitUntil(const std::function<bool(const ServiceStats&)>& ready, Millis timeout) const;

    struct Connection;  // one accepted connection (internal)

  private:
    void acceptLoop();
    void workerLoop();
    void watchLoop();
    void serve(const std::shared_ptr<Connection>& connection);
    void changed(const std::function<void(ServiceStats&)>& update);
    void cutAll(bool runningToo);

    ServiceSettings settings_;
    std::shared_ptr<host::TlsContext> tls_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    uint16_t port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable statsChanged_;
    std::condition_variable work_;
    std::condition_variable watch_;
    std::deque<std::shared_ptr<Connection>> queue_;
    std::vector<std::shared_ptr<Connection>> active_;  // with a worker
    ServiceStats stats_;
    bool stopping_ = false;
    bool started_ = false;

    std::thread acceptor_, watcher_;
    std::vector<std::thread> workers_;
};

}  // namespace service
