// Runs the built sendlogs program with captured output, or "sendlogs serve" in the background.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host/Process.h"
#include "support/BackgroundProgram.h"
#include "support/TestEnv.h"

namespace clitest {

struct ProgramResult {
    int status = -1;
    std::string out, err;
};

inline std::string programPath() {
    return SENDLOGS_BINARY_DIR "/sendlogs";
}

inline ProgramResult runSendlogs(const std::vector<std::string>& args,
                                 const testenv::TempDir& scratch) {
    static int counter = 0;
    const std::string stem = scratch.file("run" + std::to_string(++counter));
    std::string command = host::shellQuote(programPath());
    for (const std::string& arg : args) command += " " + host::shellQuote(arg);
    command +=
        " </dev/null >" + host::shellQuote(stem + ".out") + " 2>" + host::shellQuote(stem + ".err");
    ProgramResult result;
    result.status = testenv::runShell(command);
    result.out = testenv::readFile(stem + ".out");
    result.err = testenv::readFile(stem + ".err");
    return result;
}

// Paths of the entries of dir, in name order.
inline std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> paths = testenv::folderEntries(dir);
    for (std::string& name : paths) name = dir + "/" + name;
    return paths;
}
// The one entry of dir ("" and a failure when there is not exactly one).
inline std::string onlyFile(const std::string& dir) {
    const std::vector<std::string> files = filesIn(dir);
    EXPECT_EQ(files.size(), 1u) << dir;
    return files.empty() ? "" : files[0];
}

// A loopback address on which nothing listens: a port bound a moment ago and released.
inline std::string closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    socklen_t len = sizeof any;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&any), &len);
    ::close(fd);
    return "127.0.0.1:" + std::to_string(ntohs(any.sin_port));
}

// "sendlogs serve" on a loopback port it prints; extra: further options (certificates, limits).
class ServeProcess : public testenv::BackgroundProgram {
  public:
    ServeProcess(const std::string& sandbox, const std::string& logFile,
                 std::vector<std::string> extra = {})
        : BackgroundProgram(arguments(sandbox, logFile, std::move(extra)), " port ") {
        EXPECT_TRUE(running()) << error();
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port()); }

  private:
    static std::vector<std::string> arguments(const std::string& sandbox,
                                              const std::string& logFile,
                                              std::vector<std::string> extra) {
        extra.insert(extra.begin(), {programPath(), "serve", "--listen", "127.0.0.1:0", "--sandbox",
                                     sandbox, "--log-file", logFile});
        return extra;
    }
};

}  // namespace clitest
