// "sendlogs serve" in the background for the end-to-end tests, on a loopback port of its
// own choosing.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/ProgramRun.h"

extern char** environ;

namespace clitest {

// "sendlogs serve" in the background; its port comes from the line it prints once it listens.
class ServeProcess {
  public:
    // extra: further options of serve (certificates of another sandbox, limits).
    ServeProcess(const std::string& sandbox, const std::string& logFile,
                 const std::vector<std::string>& extra = {}) {
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args = {programPath(), "serve", "--listen",   "127.0.0.1:0",
                                         "--sandbox",   sandbox, "--log-file", logFile};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
        const std::string line = readLine();
        const size_t at = line.find(" port ");
        EXPECT_NE(at, std::string::npos) << line;
        if (at != std::string::npos) port_ = std::stoi(line.substr(at + 6));
    }
    ~ServeProcess() {
        if (pid_ > 0) stop();
        ::close(out_);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    int port() const { return port_; }
    // SIGTERM; the exit status, and what it printed since it started listening.
    int stop(std::string* printed = nullptr) {
        if (pid_ <= 0) return -1;  // never started: there is nothing to signal
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        std::string rest;
        char buffer[4096];
        for (ssize_t n; (n = ::read(out_, buffer, sizeof buffer)) > 0;) rest.append(buffer, n);
        if (printed) *printed = rest;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    std::string readLine() {
        std::string line;
        char c;
        pollfd wait = {out_, POLLIN, 0};
        while (::poll(&wait, 1, 30000) == 1 && ::read(out_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
    pid_t pid_ = -1;
    int out_ = -1;
    int port_ = 0;
};

}  // namespace clitest
