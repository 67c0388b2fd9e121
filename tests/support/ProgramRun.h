// Runs the built sendlogs program with captured output, for the end-to-end tests.
#pragma once

#include <string>
#include <vector>

#include "host/Process.h"
#include "support/TestEnv.h"

namespace clitest {

struct ProgramResult {
    int status = -1;
    std::string out, err;
};

inline std::string programPath() {
    return SENDLOGS_BINARY_DIR "/sendlogs";
}

// Runs "sendlogs args..." with its output captured in files of scratch.
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

}  // namespace clitest
