// Clean stops on SIGINT and SIGTERM. The guard blocks both signals in this thread and every
// thread started after it, and gives the command a private temporary folder (TMPDIR) so that
// copies the library makes there go with it. On the first signal a watcher thread calls the
// command's stop hook: a command that can wind its work down (a request whose socket is hung
// up) returns from it and finishes; one that cannot removes its partial output in the hook and
// the watcher ends the process. A second signal ends the process at once. Either way the
// temporary folder is removed and the exit status is 128 + the signal's number.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace cli {

class InterruptGuard {
  public:
    enum class Stop { Wait, Exit };
    // onStop runs on the watcher thread; with Stop::Exit the process ends when it returns.
    InterruptGuard(std::function<void()> onStop, Stop stop);
    ~InterruptGuard();  // removes the temporary folder, restores the signal mask
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The signal that stopped the command (0: none).
    int signal() const { return signal_.load(); }
    // status, or 128 + the signal when one arrived.
    int exitCode(int status) const { return signal() ? 128 + signal() : status; }

  private:
    void watch();
    void removeTemporaryFolder();

    std::function<void()> onStop_;
    Stop stop_;
    std::atomic<int> signal_{0};
    std::string tempDir_;
    int signalFd_ = -1;
    int wakeFd_ = -1;
    std::thread watcher_;
};

}  // namespace cli
