// The service's threads: one accepts connections into a bounded queue, a fixed number of
// workers serve them one at a time, and a watcher cuts connections past their time limit.
#include "service/Service.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/Log.h"
#include "service/Session.h"

namespace service {

using Clock = std::chrono::steady_clock;

struct Service::Connection {
    std::shared_ptr<host::TlsConnection> tls;
    std::string peer;
    Clock::time_point accepted, deadline;
    // Under the service's mutex:
    bool running = false;   // handed to the library
    std::string cutReason;  // set when the connection was cut
};

namespace {

const char* const kTag = "sendlogs service";

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

Service::Service(ServiceSettings settings) : settings_(std::move(settings)) {
    settings_.maxConcurrent = std::max(1u, settings_.maxConcurrent);
}

Service::~Service() {
    stop();
    for (int fd : wakeFds_)
        if (fd >= 0) ::close(fd);
}

bool Service::start(std::string& error) {
    if (started_) {
        error = "the service is already running";
        return false;
    }
    tls_ = host::TlsContext::create(host::TlsContext::Role::Service, settings_.tls, error);
    if (!tls_) return false;
    if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    listenFd_ = host::listenTcp(settings_.listen, 128, error);
    if (listenFd_ < 0) return false;
    ::fcntl(listenFd_, F_SETFL, ::fcntl(listenFd_, F_GETFL) | O_NONBLOCK);
    port_ = host::localPort(listenFd_);
    started_ = true;
    for (unsigned i = 0; i < settings_.maxConcurrent; ++i)
        workers_.emplace_back(&Service::workerLoop, this);
    watcher_ = std::thread(&Service::watchLoop, this);
    acceptor_ = std::thread(&Service::acceptLoop, this);
    EvEvent().Debug(kTag, "Listening on %s port %u: %u workers, %u waiting at most",
                    settings_.listen.host.c_str(), port_, settings_.maxConcurrent,
                    settings_.maxWaiting);
    return true;
}

void Service::changed(const std::function<void(ServiceStats&)>& update) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        update(stats_);
    }
    statsChanged_.notify_all();
}

void Service::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || fds[1].revents != 0) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                EvEvent().Error(kTag, "Cannot accept a connection: %s", std::strerror(errno));
                // Out of descriptors: the pending connection stays ready, so pause before
                // trying again rather than spin (a wake-up still ends the pause).
                pollfd wake = {wakeFds_[0], POLLIN, 0};
                if (::poll(&wake, 1, 200) > 0) return;
            }
            continue;
        }
        auto connection = std::make_shared<Connection>();
        connection->peer = host::peerAddress(fd);
        connection->tls = std::make_shared<host::TlsConnection>(
            tls_, fd, static_cast<int>(settings_.idleTimeLimit.count()));
        connection->accepted = Clock::now();
        connection->deadline = connection->accepted + settings_.requestTimeLimit;
        bool queued = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++stats_.accepted;
            // At most maxConcurrent connections with a worker and maxWaiting more in line.
            const size_t held = queue_.size() + stats_.busyWorkers;
            if (!stopping_ && held < size_t(settings_.maxConcurrent) + settings_.maxWaiting) {
                queue_.push_back(connection);
                stats_.waiting = static_cast<unsigned>(queue_.size());
                queued = true;
            } else {
                ++stats_.turnedAway;
                ++stats_.closed;
            }
        }
        statsChanged_.notify_all();
        if (queued) {
            work_.notify_one();
        } else {
            EvEvent().Error(kTag,
                            "Connection from %s turned away: %u workers busy and %u "
                            "connections waiting",
                            connection->peer.c_str(), settings_.maxConcurrent,
                            settings_.maxWaiting);
        }
    }
}

void Service::workerLoop() {
    for (;;) {
        std::shared_ptr<Connection> connection;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            connection = queue_.front();
            queue_.pop_front();
            active_.push_back(connection);
            stats_.waiting = static_cast<unsigned>(queue_.size());
            ++stats_.busyWorkers;
        }
        statsChanged_.notify_all();
        watch_.notify_all();
        serve(connection);
        changed([this, &connection](ServiceStats& stats) {
            active_.erase(std::find(active_.begin(), active_.end(), connection));
            --stats.busyWorkers;
            ++stats.closed;
        });
    }
}

void Service::serve(const std::shared_ptr<Connection>& c) {
    const auto begin = [this, &c] {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || !c->cutReason.empty()) return false;
        c->running = true;
        ++stats_.started;
        return true;
    };
    const SessionResult r = runSession(c->tls, settings_, begin);
    std::string cutReason;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cutReason = c->cutReason;
    }
    const double seconds = secondsSince(c->accepted);
    const std::string who = r.who.empty() ? "(no verified certificate)" : r.who;
    std::string outcome;
    switch (r.kind) {
        case SessionResult::Kind::Refused:
            outcome = "refused: " + r.problem;
            break;
        case SessionResult::Kind::Rejected:
            outcome = "rejected: " + r.problem;
            break;
        case SessionResult::Kind::NotStarted:
            outcome = "not started: the service is stopping";
            break;
        case SessionResult::Kind::Ran:
            outcome = !r.problem.empty()   ? "failed: " + r.problem
                      : r.connectionBroken ? "connection lost"
                                           : "completed";
            break;
    }
    if (!cutReason.empty()) outcome += " (cut: " + cutReason + ")";
    EvEvent log;
    const char* what = r.what.empty() ? "no request" : r.what.c_str();
    if (r.kind == SessionResult::Kind::Ran && outcome == "completed") {
        log.Debug(kTag, "Request from [%s] at %s: %s: %s, %llu bytes, %.2f s", who.c_str(),
                  c->peer.c_str(), what, outcome.c_str(), static_cast<unsigned long long>(r.bytes),
                  seconds);
    } else {
        log.Error(kTag, "Request from [%s] at %s: %s: %s, %llu bytes, %.2f s", who.c_str(),
                  c->peer.c_str(), what, outcome.c_str(), static_cast<unsigned long long>(r.bytes),
                  seconds);
    }
    // Counted after the log line, so that whoever waits for the counters finds the line.
    changed([&r](ServiceStats& stats) {
        if (r.kind == SessionResult::Kind::Refused) ++stats.refused;
        if (r.kind == SessionResult::Kind::Rejected) ++stats.rejected;
        if (r.kind == SessionResult::Kind::Ran) ++stats.finished;
    });
}

void Service::watchLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const auto now = Clock::now();
        auto next = now + std::chrono::hours(24);
        uint64_t cuts = 0;
        for (const auto& c : active_) {
            if (!c->cutReason.empty()) continue;
            if (c->deadline <= now) {
                c->cutReason = "request time limit";
                c->tls->cut();
                ++cuts;
            } else {
                next = std::min(next, c->deadline);
            }
        }
        stats_.cut += cuts;
        if (cuts > 0) statsChanged_.notify_all();
        if (stopping_ && active_.empty()) return;
        watch_.wait_until(lock, next);
    }
}

void Service::cutAll(bool runningToo) {
    uint64_t cuts = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& c : active_) {
            if (!c->cutReason.empty() || (c->running && !runningToo)) continue;
            c->cutReason = "service stopping";
            c->tls->cut();
            ++cuts;
        }
        stats_.cut += cuts;
    }
    statsChanged_.notify_all();
}

void Service::stop() {
    std::deque<std::shared_ptr<Connection>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!started_ || stopping_) return;
        stopping_ = true;
        dropped.swap(queue_);
        stats_.waiting = 0;
        stats_.closed += dropped.size();
        stats_.turnedAway += dropped.size();
    }
    const char wake = 1;
    if (::write(wakeFds_[1], &wake, 1) < 0) {
        // The pipe is never full with one byte; nothing else can fail here.
    }
    if (acceptor_.joinable()) acceptor_.join();
    ::close(listenFd_);
    listenFd_ = -1;
    dropped.clear();
    work_.notify_all();
    EvEvent().Debug(kTag, "Stopping: no new connections; waiting requests closed");

    // Connections still in their handshake or record have no request to lose.
    cutAll(false);
    const bool drained = waitUntil([](const ServiceStats& s) { return s.busyWorkers == 0; },
                                   settings_.shutdownGrace);
    if (!drained) {
        EvEvent().Error(kTag, "Requests still running after %lld ms; their connections are cut",
                        static_cast<long long>(settings_.shutdownGrace.count()));
        cutAll(true);
    }
    for (std::thread& worker : workers_) worker.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers_.clear();
    }
    watch_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    EvEvent().Debug(kTag, "Stopped");
}

ServiceStats Service::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
}

bool Service::waitUntil(const std::function<bool(const ServiceStats&)>& ready,
                        Millis timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return statsChanged_.wait_for(lock, timeout, [&] { return ready(stats_); });
}

}  // namespace service
