// The "sendlogs extract" program, run for real in a temporary folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Process.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"

namespace {

using lstest::entry;

struct ProgramRun {
    int status;
    std::string out, err;
};

ProgramRun sendlogs(const std::vector<std::string>& args) {
    std::string command = host::shellQuote(SENDLOGS_BINARY_DIR "/sendlogs");
    for (const std::string& arg : args) command += " " + host::shellQuote(arg);
    ProgramRun run;
    testenv::ScopedEnv logFile("SENDLOGS_LOG_FILE", "");
    run.status = WyProcess::system(command.c_str(), &run.out, &run.err, 60);
    return run;
}

class ExtractCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        int y = lstest::thisYear();
        job_ = entry("10001", "1", "03/10", "10:00:00", "4711", "[A:5]", "job line");
        other_ = entry("10001", "2", "03/10", "12:00:00", "4712", "[A:6]", "Other Line");
        testenv::writeFile(logDir_ + "/wyd.log", lstest::header(y) + job_ + other_);
        testenv::writeFile(logDir_ + "/WyFwd.log", lstest::header(y) + job_ + other_);
    }
    testenv::TempDir dir_{"ls-extract"};
    std::string logDir_ = dir_.mkdir("logs");
    std::string output_ = dir_.file("out.log");
    std::string job_, other_;
};

TEST_F(ExtractCommandTest, JobTagAndSearch) {
    ProgramRun run = sendlogs(
        {"extract", "--log-dir", logDir_, "--job", "4711", "--machine", "box", "-o", output_});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testenv::readFile(output_), lstest::banner("box", "wyd.log") + job_);

    run = sendlogs({"extract", "--log-dir", logDir_, "--tag", "6", "--search", "other line",
                    "--machine", "box", "-o", output_});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testenv::readFile(output_), lstest::banner("box", "wyd.log") + other_);
}

TEST_F(ExtractCommandTest, TimeWindowReadsTheFilteredLogs) {
    std::string from = std::to_string(lstest::thisYear()) + "-03-10 11:00:00";
    ProgramRun run = sendlogs(
        {"extract", "--log-dir", logDir_, "--from", from, "--machine", "box", "-o", output_});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testenv::readFile(output_), lstest::banner("box", "wyd.log") + other_);
}

TEST_F(ExtractCommandTest, BadCommandLinesAndFailures) {
    EXPECT_EQ(sendlogs({"extract", "--log-dir", logDir_, "-o", output_}).status, 2);
    std::string unwritable = dir_.file("absent/out.log");
    EXPECT_EQ(sendlogs({"extract", "--log-dir", logDir_, "--job", "1", "-o", unwritable}).status,
              1);
}

}  // namespace
