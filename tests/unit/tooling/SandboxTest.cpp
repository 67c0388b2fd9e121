// Sandbox creation: the layout a request relies on (the requests of the integration and
// service tests read its registry), the tool stand-ins, and the folders it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "host/Process.h"
#include "support/TestEnv.h"
#include "tooling/Sandbox.h"

using tooling::SandboxFacts;

namespace {

class SandboxTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scratch_ = new testenv::TempDir("sandbox-test");
        dir_ = scratch_->file("sb");
        tooling::SandboxOptions options;
        options.logBytes = 256 << 10;
        std::string error;
        ASSERT_TRUE(tooling::createSandbox(dir_, options, error)) << error;
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }
    static std::string path(const std::string& relative) { return dir_ + "/" + relative; }

    static testenv::TempDir* scratch_;
    static std::string dir_;
};
testenv::TempDir* SandboxTest::scratch_ = nullptr;
std::string SandboxTest::dir_;

TEST_F(SandboxTest, LaysOutTheInstallation) {
    for (const char* file :
         {"Log_Files/wyd.log", "jobResults/WY_JobResults/2/0/1001/backup.out",
          "jobResults/WY_JobResults/2/0/1004/JobSummary.txt", "remote/client07/jobResults",
          "Log_Files/wyd_3.log.bz2", "base/FwConfig.txt", "base/Temp", "cores/core.4242",
          "base/certificates/client.crt"})
        EXPECT_TRUE(testenv::exists(path(file))) << file;
    // The private key every collection test looks for must be there, and private.
    const std::string key = path("base/certificates/client_key.pem");
    EXPECT_NE(testenv::readFile(key).find(SandboxFacts::kPrivateKeyMarker), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(testenv::readFile(path("sandbox.env")).find("export ORVION_INSTANCE=Instance001"),
              std::string::npos);
}

TEST_F(SandboxTest, ToolStandInsLeaveWhatTheLibraryExpects) {
    testenv::TempDir out("sandbox-tools");
    const auto q = [](const std::string& s) { return host::shellQuote(s); };
    EXPECT_EQ(testenv::runShell(q(path("home/WyDiagnostics")) + " -vm Instance001 " +
                                "-sendlogfilesjob -output " + q(out.path()) + " >/dev/null 2>&1"),
              0);
    EXPECT_FALSE(testenv::readFile(out.file("WyDiagnostics.7z")).empty());
    EXPECT_EQ(testenv::runShell(q(path("base/WyPerfLogAnalyze")) +
                                " -jobid 1001 -vm Instance001 -opdir " + q(out.path())),
              0);
    EXPECT_NE(testenv::readFile(out.file("PerfAnalysis_1001.log")).find("job 1001"),
              std::string::npos);
    EXPECT_TRUE(testenv::contains(
        testenv::output("cd " + q(path("home/Base")) + " && ./wysnapcore -c " +
                        q(path("cores/core.4242")) + " -d " + q(out.path()) + " -n Instance001"),
        "Core analysis of"));
    EXPECT_TRUE(testenv::exists(out.file("core.4242.analysis.txt")));
}

TEST(SandboxCreation, RefusesFoldersItCannotOwn) {
    testenv::TempDir scratch("sandbox-refuse");
    std::string error;
    testenv::writeFile(scratch.file("busy/keep.txt"), "user data\n");
    EXPECT_FALSE(tooling::createSandbox(scratch.file("busy"), {}, error));
    EXPECT_NE(error.find("not empty"), std::string::npos) << error;
    EXPECT_EQ(testenv::readFile(scratch.file("busy/keep.txt")), "user data\n");
    testenv::writeFile(scratch.file("plain"), "x");
    EXPECT_FALSE(tooling::createSandbox(scratch.file("plain"), {}, error));
    const std::string deep = scratch.file(std::string(120, 'd'));
    EXPECT_FALSE(tooling::createSandbox(deep, {}, error));
    EXPECT_FALSE(testenv::exists(deep));
    EXPECT_NE(error.find("longer than"), std::string::npos) << error;
    EXPECT_FALSE(tooling::useSandbox(scratch.path(), "", error));
}

}  // namespace
