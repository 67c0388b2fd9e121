#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "support/LogFixtures.h"
#include "support/ProgramRun.h"
#include "support/TestEnv.h"

namespace {

using lstest::entry;

class ExtractCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"/wyd.log", "/WyFwd.log"})
            testenv::writeFile(logDir_ + name, lstest::header(lstest::thisYear()) + job_ + other_);
    }
    // "sendlogs extract --log-dir <logs> args", with the library's log discarded.
    clitest::ProgramResult extract(std::vector<std::string> args) {
        args.insert(args.begin(), {"extract", "--log-dir", logDir_});
        return clitest::runSendlogs(args, dir_);
    }
    testenv::ScopedEnv discardLog_{"SENDLOGS_LOG_FILE", ""};
    testenv::TempDir dir_{"ls-extract"};
    std::string logDir_ = dir_.mkdir("logs");
    std::string output_ = dir_.file("out.log");
    const std::string job_ = entry("10001", "1", "03/10", "10:00:00", "4711", "[A:5]", "job line");
    const std::string other_ =
        entry("10001", "2", "03/10", "12:00:00", "4712", "[A:6]", "Other Line");
};

TEST_F(ExtractCommandTest, JobTagSearchAndTimeWindow) {
    clitest::ProgramResult run = extract({"--job", "4711", "--machine", "box", "-o", output_});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testenv::readFile(output_), lstest::banner("box", "wyd.log") + job_);
    struct stat st {};
    EXPECT_EQ((::stat(output_.c_str(), &st), st.st_mode & 0777), 0600u);

    // "-" is standard output; the summary then goes to standard error.
    run = extract({"--tag", "6", "--search", "other line", "--machine", "box", "-o", "-"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, lstest::banner("box", "wyd.log") + other_);
    EXPECT_NE(run.err.find("extract: done: 1 file(s), "), std::string::npos) << run.err;

    const std::string year = std::to_string(lstest::thisYear());
    std::vector<std::string> window = {
        "--from", year + "-03-10T11:00:00", "--to", year + "-03-11", "--machine", "box", "-o",
        output_};
    // An existing output is replaced only with --force, and then whole.
    run = extract(window);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--force"), std::string::npos) << run.err;
    window.insert(window.end(), {"--force", "--json"});
    run = extract(window);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string written = testenv::readFile(output_);
    EXPECT_EQ(written, lstest::banner("box", "wyd.log") + other_);
    const std::string lines = std::to_string(std::count(written.begin(), written.end(), '\n'));
    EXPECT_EQ(run.out.rfind("{\"command\":\"extract\",\"status\":\"done\",\"exit\":0,\"files\":1,"
                            "\"bytes\":" +
                                std::to_string(written.size()) + ",\"lines_kept\":" + lines +
                                ",\"lines_withheld\":0,\"seconds\":",
                            0),
              0u)
        << run.out;
    // Nothing selected has its own status.
    EXPECT_EQ(extract({"--job", "999", "-o", "-"}).status, 3);
}

TEST_F(ExtractCommandTest, BadCommandLinesAndFailures) {
    EXPECT_EQ(extract({"-o", output_}).status, 2);
    EXPECT_EQ(extract({"--job", "1", "-o", dir_.file("absent/out.log")}).status, 1);
    // The output never goes into the folder it reads: it would replace one of its logs.
    const std::string log = testenv::readFile(logDir_ + "/wyd.log");
    EXPECT_EQ(extract({"--job", "4711", "-o", logDir_ + "/wyd.log"}).status, 2);
    EXPECT_EQ(testenv::readFile(logDir_ + "/wyd.log"), log);
    // A FIFO holds nothing up; a log that cannot be read is a failure, and says so.
    ASSERT_EQ(mkfifo((logDir_ + "/wyd_7.log").c_str(), 0600), 0);
    testenv::writeFile(logDir_ + "/wyd_2.log.bz2", "not bzip2 data\n");
    clitest::ProgramResult run = extract({"--job", "4711", "-o", output_});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("wyd_2.log.bz2 could not be read"), std::string::npos) << run.err;
}

}  // namespace
