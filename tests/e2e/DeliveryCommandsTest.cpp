// "sendlogs upload", "registry dump" and "mkdir" end to end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ProgramRun.h"
#include "support/TestEnv.h"
#include "support/UploadPeers.h"
#include "tooling/Sandbox.h"

using clitest::ProgramResult;
using clitest::runSendlogs;

using testenv::contains;

namespace {

class DeliveryCommands : public ::testing::Test {
  protected:
    DeliveryCommands() { testenv::writeFile(passwordFile_, std::string(peers::kPassword) + "\n"); }
    std::string log() const {
        return testenv::exists(logFile_) ? testenv::readFile(logFile_) : std::string();
    }
    testenv::TempDir scratch_{"cli-delivery"};
    std::string logFile_ = scratch_.file("library.log");
    testenv::ScopedEnv logEnv_{"SENDLOGS_LOG_FILE", logFile_};
    std::string passwordFile_ = scratch_.file("password");
};

TEST_F(DeliveryCommands, UploadSendsEveryPartAndNeverShowsThePassword) {
    const std::string remote = scratch_.mkdir("remote"), local = scratch_.mkdir("local");
    peers::FtpPeer server(remote);
    ASSERT_TRUE(server.running()) << server.error();
    std::string data(2 * 1024 * 1024 + 3, 'd');
    for (size_t i = 0; i < data.size(); i += 4099) data[i] = static_cast<char>(i);
    testenv::writeFile(local + "/logs bundle.tar", data);

    const ProgramResult run = runSendlogs(
        {"upload", "--ftp", "--url", server.url(), "--user", peers::kUser, "--password-file",
         passwordFile_, "--id", "c9", "--part-mb", "1", local + "/logs bundle.tar"},
        scratch_);
    ASSERT_EQ(run.status, 0) << run.out << run.err << log();
    EXPECT_TRUE(contains(run.out, "upload: done")) << run.out;
    std::string arrived;
    for (const char* part : {"aa", "ab", "ac"})
        arrived += testenv::readFile(remote + "/c9/logs bundle.tar.part-" + std::string(part));
    EXPECT_EQ(arrived, data);
    EXPECT_FALSE(testenv::exists(local + "/logs bundle.tar.part-aa"));
    for (const std::string& text : {run.out, run.err, log()})
        EXPECT_FALSE(contains(text, peers::kPassword));

    EXPECT_EQ(runSendlogs({"upload", "--http", "--url", server.url(), "--user", "u",
                           "--password-file", passwordFile_, "--id", "c9", local},
                          scratch_)
                  .status,
              2)
        << "--http needs --handler; a folder is no file";
}

// "registry dump" and "mkdir" against one sandbox.
TEST_F(DeliveryCommands, RegistryDumpMasksTheKeyAndMkdirAnswersForThisMachine) {
    const std::string box = scratch_.file("sandbox");
    tooling::SandboxOptions options;
    options.logBytes = 64 << 10;
    std::string error;
    ASSERT_TRUE(tooling::createSandbox(box, options, error)) << error;
    ProgramResult run =
        runSendlogs({"registry", "dump", "--sandbox", box, "-o", scratch_.file("dump")}, scratch_);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string text = testenv::readFile(scratch_.file("dump/OrvionRegistry.txt"));
    EXPECT_TRUE(contains(text, "Listing Registry contents of [SOFTWARE\\ODBC]:\n"));
    EXPECT_TRUE(contains(text, "sWyPwdV5EncKey: REG_SZ: Data [xxx]\n"));
    EXPECT_FALSE(contains(text, "sandbox-encryption-key"));
    EXPECT_EQ(runSendlogs({"registry", "dump"}, scratch_).status, 2);

    run = runSendlogs({"mkdir", "--sandbox", box, "--client-id", "0", scratch_.file("made here")},
                      scratch_);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "created")) << run.out;
    EXPECT_TRUE(testenv::exists(scratch_.file("made here")));

    run = runSendlogs({"mkdir", "--sandbox", box, "--client-id", "0", "relative"}, scratch_);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, "FAILED: Failed to create the new folder.")) << run.out;
}

}  // namespace
