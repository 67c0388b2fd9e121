// The host thread pool: fixed workers, one queue, a wait for "queue empty and all idle".
#include "host/ThreadPool.h"

#include <pthread.h>

#include <chrono>
#include <cstdint>
#include <exception>

#include "host/Log.h"

bool WyThreadPool::initThreadPool(const std::string& name, int idleMs, int minThreads, int threads,
                                  int flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!workers_.empty() || stopping_) return false;
    int count = threads > 0 ? threads : (minThreads > 0 ? minThreads : 1);
    try {
        for (int i = 0; i < count; ++i) workers_.emplace_back([this] { run(); });
    } catch (const std::exception& e) {
        // Keep the workers that did start; the pool still runs with fewer threads.
        EvDebug log;
        log.Error("WyThreadPool::initThreadPool", "Pool [%s] started %zu of %d threads: %s",
                  name.c_str(), workers_.size(), count, e.what());
    }
    return !workers_.empty();
}

bool WyThreadPool::doWork(Work function, void* argument) {
    if (!function) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (workers_.empty() || stopping_) return false;
        queue_.emplace_back(function, argument);
    }
    wake_.notify_one();
    return true;
}

bool WyThreadPool::waitForAllThreads(bool a, bool b, bool c, int timeoutSeconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto done = [this] { return queue_.empty() && busy_ == 0; };
    if (timeoutSeconds <= 0) {
        idle_.wait(lock, done);
        return true;
    }
    return idle_.wait_for(lock, std::chrono::seconds(timeoutSeconds), done);
}

void WyThreadPool::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, nothing left
        auto work = queue_.front();
        queue_.pop_front();
        ++busy_;
        lock.unlock();
        try {
            work.first(work.second);
        } catch (const std::exception& e) {
            EvDebug log;
            log.Error("WyThreadPool::run", "A queued function threw: %s", e.what());
        } catch (...) {
            EvDebug log;
            log.Error("WyThreadPool::run", "A queued function threw an unknown exception");
        }
        lock.lock();
        --busy_;
        if (queue_.empty() && busy_ == 0) idle_.notify_all();
    }
}

WyThreadPool::~WyThreadPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;  // queued work still runs: workers leave only on an empty queue
    }
    wake_.notify_all();
    for (auto& worker : workers_)
        if (worker.joinable()) worker.join();
}

unsigned long WyThread::getCurrentThreadID() {
    return static_cast<unsigned long>(static_cast<uint64_t>(pthread_self()) & 0xffffffffu);
}
