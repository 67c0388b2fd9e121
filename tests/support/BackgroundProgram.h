// A loopback server in a process group of its own, announcing its port in its first line of
// output; the object stops the whole group when it goes, also when the test fails.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace testenv {

class BackgroundProgram {
  public:
    // argv: the program (looked up on $PATH) and its arguments; marker: what precedes the port.
    BackgroundProgram(std::vector<std::string> argv, const std::string& marker) {
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0 || (pid_ = fork()) < 0) {
            error_ = std::strerror(errno);
            return;
        }
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            setpgid(0, 0);  // its own group, so that stopping it stops its children too
            execvp(args[0], args.data());
            _exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        std::string line;
        pollfd wait = {out_, POLLIN, 0};
        for (char c = 0; c != '\n'; line += c)
            if (poll(&wait, 1, 30000) != 1 || ::read(out_, &c, 1) != 1) break;
        const size_t at = line.find(marker);
        if (at == std::string::npos)
            error_ = "no port announced: " + line;
        else
            port_ = std::atoi(line.c_str() + at + marker.size());
    }
    ~BackgroundProgram() {
        stop();
        if (out_ >= 0) ::close(out_);
    }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    const std::string& error() const { return error_; }

    // SIGTERM, SIGKILL after 2 s; the exit status (-1 when killed) and what it printed since.
    int stop(std::string* printed = nullptr) {
        if (pid_ <= 0) return -1;
        if (kill(-pid_, SIGTERM) != 0) kill(pid_, SIGTERM);  // not yet in its own group
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) != pid_; ++i) {
            if (i == 99) {
                kill(-pid_, SIGKILL);
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
            usleep(20000);
        }
        pid_ = -1;
        fcntl(out_, F_SETFL, O_NONBLOCK);  // what is left; a stray child holds up nothing
        char buffer[4096];
        for (ssize_t n; printed && (n = ::read(out_, buffer, sizeof buffer)) > 0;)
            printed->append(buffer, static_cast<size_t>(n));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int port_ = 0;
    std::string error_;
};

}  // namespace testenv
