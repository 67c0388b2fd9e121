// The process runner: /bin/sh -c in its own process group, both output pipes read with
// poll(), every child reaped.
#include "host/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace host {

std::string shellQuote(const std::string& text) {
    bool plain = !text.empty();
    for (unsigned char c : text)
        if (!(std::isalnum(c) || std::strchr("_./-:,+@%", c))) plain = false;
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += "'";
    return quoted;
}

}  // namespace host

namespace {

constexpr const char* kTimedOut = "timedout";

long long nowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Milliseconds left until deadline (-1: no deadline), never below 0.
int remainingMs(long long deadline) {
    if (deadline < 0) return -1;
    long long left = deadline - nowMs();
    if (left <= 0) return 0;
    return left > 1000000000 ? 1000000000 : static_cast<int>(left);
}

long long deadlineFor(int timeoutSeconds) {
    return timeoutSeconds > 0 ? nowMs() + static_cast<long long>(timeoutSeconds) * 1000 : -1;
}

int statusToCode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void closeFd(int& fd) {
    if (fd >= 0) close(fd);  // Don't retry close on EINTR: the descriptor is gone either way.
    fd = -1;
}

// Everything the child does between fork and exec is async-signal-safe: the parent may have
// other threads holding locks.
[[noreturn]] void execChild(const char* command, int in, int out, int err, bool newSession) {
    if (newSession)
        setsid();
    else
        setpgid(0, 0);
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGHUP})
        sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
#endif
    {
        long max = sysconf(_SC_OPEN_MAX);
        for (long fd = 3; fd < (max > 0 ? max : 1024); ++fd) close(static_cast<int>(fd));
    }
    execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
    _exit(127);
}

struct Spawned {
    pid_t pid = -1;
    int outRead = -1;
    int errRead = -1;
};

// Starts command; outPipe/errPipe select captured streams, the rest go to /dev/null.
bool spawn(const char* command, bool outPipe, bool errPipe, bool newSession, Spawned& child,
           std::string& reason) {
    int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devnull < 0) {
        reason = std::string("cannot open /dev/null: ") + std::strerror(errno);
        return false;
    }
    int outFds[2] = {-1, -1}, errFds[2] = {-1, -1};
    if ((outPipe && pipe2(outFds, O_CLOEXEC) != 0) || (errPipe && pipe2(errFds, O_CLOEXEC) != 0)) {
        reason = std::string("cannot create a pipe: ") + std::strerror(errno);
        for (int fd : {outFds[0], outFds[1], errFds[0], errFds[1], devnull})
            if (fd >= 0) close(fd);
        return false;
    }
    pid_t pid = fork();
    if (pid == 0)
        execChild(command, devnull, outPipe ? outFds[1] : devnull, errPipe ? errFds[1] : devnull,
                  newSession);
    int forkErr = errno;
    closeFd(outFds[1]);
    closeFd(errFds[1]);
    close(devnull);
    if (pid < 0) {
        closeFd(outFds[0]);
        closeFd(errFds[0]);
        reason = std::string("cannot start a process: ") + std::strerror(forkErr);
        return false;
    }
    if (!newSession) setpgid(pid, pid);  // also here, so a kill right away hits the group
    child.pid = pid;
    child.outRead = outFds[0];
    child.errRead = errFds[0];
    return true;
}

void killGroup(pid_t pid) {
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
}

pid_t waitNoIntr(pid_t pid, int* status, int flags) {
    pid_t got;
    do {
        got = waitpid(pid, status, flags);
    } while (got < 0 && errno == EINTR);
    return got;
}

// Waits for pid until deadline (-1: none). True and status when it ended; false on time-out
// (the child still runs) or when it cannot be waited for (lost set, reason in errno).
bool waitUntil(pid_t pid, long long deadline, int& status, bool& timedOut) {
    timedOut = false;
    if (deadline < 0) return waitNoIntr(pid, &status, 0) == pid;
    int pidfd = -1;
#ifdef SYS_pidfd_open
    pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#endif
    for (;;) {
        pid_t got = waitNoIntr(pid, &status, WNOHANG);
        if (got == pid || got < 0) {
            if (pidfd >= 0) close(pidfd);
            return got == pid;
        }
        int left = remainingMs(deadline);
        if (left == 0) {
            if (pidfd >= 0) close(pidfd);
            timedOut = true;
            return false;
        }
        if (pidfd >= 0) {
            struct pollfd p = {pidfd, POLLIN, 0};
            poll(&p, 1, left);
        } else {
            // Without process descriptors, look again in short steps.
            poll(nullptr, 0, left < 20 ? left : 20);
        }
    }
}

// Reads both pipes until they close or the deadline passes. False on time-out.
bool drain(Spawned& child, std::string* out, std::string* err, long long deadline) {
    char buffer[65536];
    while (child.outRead >= 0 || child.errRead >= 0) {
        struct pollfd fds[2];
        nfds_t count = 0;
        int* owners[2];
        std::string* sinks[2];
        if (child.outRead >= 0) {
            fds[count] = {child.outRead, POLLIN, 0};
            owners[count] = &child.outRead;
            sinks[count++] = out;
        }
        if (child.errRead >= 0) {
            fds[count] = {child.errRead, POLLIN, 0};
            owners[count] = &child.errRead;
            sinks[count++] = err;
        }
        int ready = poll(fds, count, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return false;
        if (ready < 0) return true;  // cannot poll: stop reading, the child is still reaped
        for (nfds_t i = 0; i < count; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) continue;
            ssize_t got = read(*owners[i], buffer, sizeof buffer);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got <= 0) {
                closeFd(*owners[i]);
                continue;
            }
            if (sinks[i]) sinks[i]->append(buffer, static_cast<size_t>(got));
        }
    }
    return true;
}

void setError(char* errorText, size_t errorSize, const std::string& text) {
    if (errorText && errorSize > 0) std::snprintf(errorText, errorSize, "%s", text.c_str());
}

}  // namespace

int WyProcess::system(const char* command, std::string* out, std::string* err, int timeoutSeconds,
                      bool detached) {
    if (!command) {
        if (err) *err = "no command";
        return -1;
    }
    long long deadline = deadlineFor(timeoutSeconds);
    Spawned child;
    std::string reason;
    if (!spawn(command, out != nullptr, err != nullptr, detached, child, reason)) {
        if (err) *err = reason;
        return -1;
    }
    if (out) out->clear();
    if (err) err->clear();
    bool inTime = drain(child, out, err, deadline);
    closeFd(child.outRead);
    closeFd(child.errRead);
    int status = 0;
    bool timedOut = !inTime;
    if (inTime && !waitUntil(child.pid, deadline, status, timedOut) && !timedOut) {
        if (err) *err = std::string("cannot wait for the process: ") + std::strerror(errno);
        return -1;
    }
    if (timedOut) {
        killGroup(child.pid);
        waitNoIntr(child.pid, &status, 0);
        if (err) *err = kTimedOut;
        return -1;
    }
    return statusToCode(status);
}

WyProcess::~WyProcess() {
    if (pid_ > 0) {
        killGroup(pid_);
        int status = 0;
        waitNoIntr(pid_, &status, 0);
    }
}

bool WyProcess::StartProcess(const std::string& commandLine, char* errorText, size_t errorSize) {
    if (pid_ > 0) {
        setError(errorText, errorSize, "a process is already running");
        return false;
    }
    Spawned child;
    std::string reason;
    if (!spawn(commandLine.c_str(), false, false, false, child, reason)) {
        setError(errorText, errorSize, reason);
        return false;
    }
    pid_ = child.pid;
    setError(errorText, errorSize, "");
    return true;
}

bool WyProcess::WaitForProcessToEnd(int timeoutSeconds, int& exitCode, std::string& errorText) {
    if (pid_ <= 0) {
        errorText = "no process is running";
        return false;
    }
    int status = 0;
    bool timedOut = false;
    if (!waitUntil(pid_, deadlineFor(timeoutSeconds), status, timedOut)) {
        if (timedOut) {
            killGroup(pid_);
            waitNoIntr(pid_, &status, 0);
            errorText = kTimedOut;
        } else {
            errorText = std::string("cannot wait for the process: ") + std::strerror(errno);
        }
        pid_ = -1;
        return false;
    }
    pid_ = -1;
    exitCode = statusToCode(status);
    errorText.clear();
    return true;
}
