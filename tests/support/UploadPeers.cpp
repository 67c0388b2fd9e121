#include "support/UploadPeers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "host/Process.h"

namespace peers {
namespace {

constexpr int kStartSeconds = 20;

std::string script() {
    return SENDLOGS_SOURCE_DIR "/tests/support/upload_servers.py";
}

// Reads the "PORT n" line the script prints once it listens; 0 when it did not come.
int readPort(int fd, std::string& error) {
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
    while (text.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            error = "the server did not start in time";
            return 0;
        }
        struct pollfd p = {fd, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char buffer[64];
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            error = "the server ended before it listened";
            return 0;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    if (text.compare(0, 5, "PORT ") != 0) {
        error = "unexpected first line: " + text;
        return 0;
    }
    return std::atoi(text.c_str() + 5);
}

// The python interpreter that has the servers' modules.
std::string python() {
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

}  // namespace

Peer::Peer(const std::string& mode, const std::vector<std::string>& extra,
           const std::vector<std::string>& wrapper) {
    std::vector<std::string> args = wrapper;
    for (const std::string& a : {python(), script(), mode}) args.push_back(a);
    args.insert(args.end(), {"--user", kUser, "--password", kPassword});
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error_ = std::strerror(errno);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        setpgid(0, 0);  // its own group, so that stopping it stops a wrapper's children too
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid_ > 0)
        port_ = readPort(out[0], error_);
    else
        error_ = std::strerror(errno);
    close(out[0]);
}

Peer::~Peer() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) return;
        usleep(20000);
    }
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
}

FtpPeer::FtpPeer(const std::string& root, int failFirst)
    : Peer("ftp", {"--root", root, "--fail-first", std::to_string(failFirst)}) {}

HttpPeer::HttpPeer(const std::string& root, int failFirst, const std::vector<std::string>& tls)
    : Peer("http", [&] {
          std::vector<std::string> extra = {"--root", root, "--fail-first",
                                            std::to_string(failFirst)};
          if (tls.size() == 2) extra.insert(extra.end(), {"--tls", tls[0], tls[1]});
          return extra;
      }()) {}

ProxyPeer::ProxyPeer() : Peer("proxy", {}) {}

bool makeCertificate(const std::string& dir) {
    std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1 -keyout " +
        host::shellQuote(dir + "/key.pem") + " -out " + host::shellQuote(dir + "/cert.pem") +
        " >/dev/null 2>&1";
    return testenv::runShell(command) == 0;
}

}  // namespace peers
