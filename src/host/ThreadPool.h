// The host thread pool: a fixed number of workers running queued functions.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class WyThreadPool {
  public:
    using Work = void* (*)(void*);

    WyThreadPool() = default;
    ~WyThreadPool();  // waits for queued work, then joins
    WyThreadPool(const WyThreadPool&) = delete;
    WyThreadPool& operator=(const WyThreadPool&) = delete;

    // name, idle time (ms, not interpreted), minimum threads, thread count, flags.
    bool initThreadPool(const std::string& name, int idleMs, int minThreads, int threads,
                        int flags);
    bool doWork(Work function, void* argument);
    // Blocks until the queue is empty and every worker is idle (timeout in seconds, <= 0: none).
    bool waitForAllThreads(bool a, bool b, bool c, int timeoutSeconds);
    int threadCount() const { return static_cast<int>(workers_.size()); }

  private:
    void run();
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<std::pair<Work, void*>> queue_;
    std::vector<std::thread> workers_;
    size_t busy_ = 0;
    bool stopping_ = false;
};

class WyThread {
  public:
    // The low 32 bits of the POSIX thread handle, unsigned.
    static unsigned long getCurrentThreadID();
};
