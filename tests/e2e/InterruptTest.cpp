// SIGINT/SIGTERM mid-request: staging and copies removed, no half file, exit 128 + signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/ProgramRun.h"
#include "support/RequestHarness.h"
#include "support/TestEnv.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

bool stagingExists(const std::string& jobResults) {
    return !harness::Installation::stagingDirs(jobResults).empty();
}

TEST(Interrupt, SignalDuringCollectRemovesStagingAndTemporaryCopies) {
    testenv::TempDir scratch("cli-interrupt");
    const std::string sandbox = scratch.file("sb");
    ASSERT_EQ(
        clitest::runSendlogs({"sandbox", "create", sandbox, "--size-mb", "8"}, scratch).status, 0);
    const std::string patterns = scratch.file("patterns.txt");
    testenv::writeFile(patterns, "client01\n[0-9]+\\.[0-9]+&#*#&##isregexmagic##.\n");
    const std::string jobResults = sandbox + "/jobResults", tmp = scratch.mkdir("tmp");
    testenv::ScopedEnv privateTmp("TMPDIR", tmp);

    for (const int signal : {SIGINT, SIGTERM}) {
        const std::string out = scratch.file("out" + std::to_string(signal));
        std::vector<std::string> args = {clitest::programPath(), "collect", "--sandbox", sandbox};
        args.insert(args.end(),
                    {"--product-logs", "--scrub", "--scrub-patterns", patterns, "-q", "-o", out});
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        // The signal goes in once the request has built its staging folder.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!stagingExists(jobResults) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(stagingExists(jobResults));
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_FALSE(stagingExists(jobResults));
        EXPECT_TRUE(fs::is_empty(tmp)) << fs::directory_iterator(tmp)->path();
        for (const auto& entry : fs::directory_iterator(out))
            ADD_FAILURE() << "left in the output folder: " << entry.path();
    }
}

}  // namespace
