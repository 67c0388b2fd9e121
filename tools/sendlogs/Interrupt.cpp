// SIGINT and SIGTERM handling through a signalfd read on a watcher thread.
#include "Interrupt.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace cli {

namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

InterruptGuard::InterruptGuard(std::function<void()> onStop, Stop stop)
    : onStop_(std::move(onStop)), stop_(stop) {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/sendlogs-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        tempDir_ = pattern;
        ::setenv("TMPDIR", tempDir_.c_str(), 1);
    }
    if (signalFd_ >= 0 && wakeFd_ >= 0) watcher_ = std::thread([this] { watch(); });
}

InterruptGuard::~InterruptGuard() {
    if (watcher_.joinable()) {
        const uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
        watcher_.join();
    }
    if (signalFd_ >= 0) ::close(signalFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    removeTemporaryFolder();
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void InterruptGuard::removeTemporaryFolder() {
    if (tempDir_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(tempDir_, ec);
}

void InterruptGuard::watch() {
    for (;;) {
        pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        signalfd_siginfo info{};
        if (::read(signalFd_, &info, sizeof info) != sizeof info) continue;
        const int number = static_cast<int>(info.ssi_signo);
        if (signal_.exchange(number) != 0 || stop_ == Stop::Exit) {
            // A second signal, or a command that cannot wind down: end here.
            if (stop_ == Stop::Exit && onStop_) onStop_();
            removeTemporaryFolder();
            ::_exit(128 + number);
        }
        if (onStop_) onStop_();
    }
}

}  // namespace cli
