#include <gtest/gtest.h>

#include "support/ProgramRun.h"
#include "support/TestEnv.h"
#include "support/UploadPeers.h"

using testenv::contains;

namespace {

TEST(DeliveryCommands, UploadSendsEveryPartAndNeverShowsThePassword) {
    testenv::TempDir scratch("cli-delivery");
    const std::string logFile = scratch.file("library.log"), password = scratch.file("password");
    testenv::ScopedEnv logEnv("SENDLOGS_LOG_FILE", logFile);
    testenv::writeFile(password, std::string(peers::kPassword) + "\n");
    const std::string remote = scratch.mkdir("remote"), local = scratch.mkdir("local");
    peers::FtpPeer server(remote);
    ASSERT_TRUE(server.running()) << server.error();
    std::string data(2 * 1024 * 1024 + 3, 'd');
    for (size_t i = 0; i < data.size(); i += 4099) data[i] = static_cast<char>(i);
    testenv::writeFile(local + "/logs bundle.tar", data);

    const clitest::ProgramResult run = clitest::runSendlogs(
        {"upload", "--ftp", "--url", server.url(), "--user", peers::kUser, "--password-file",
         password, "--id", "c9", "--part-mb", "1", local + "/logs bundle.tar"},
        scratch);
    const std::string log = testenv::exists(logFile) ? testenv::readFile(logFile) : "";
    ASSERT_EQ(run.status, 0) << run.out << run.err << log;
    EXPECT_TRUE(contains(run.out, "upload: done")) << run.out;
    std::string arrived;
    for (const char* part : {"aa", "ab", "ac"})
        arrived += testenv::readFile(remote + "/c9/logs bundle.tar.part-" + std::string(part));
    EXPECT_EQ(arrived, data);
    EXPECT_FALSE(testenv::exists(local + "/logs bundle.tar.part-aa"));
    for (const std::string& text : {run.out, run.err, log})
        EXPECT_FALSE(contains(text, peers::kPassword));
}

}  // namespace
