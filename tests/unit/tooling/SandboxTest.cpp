// Sandbox creation: the layout requests rely on, and the folders it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TestEnv.h"
#include "tooling/Sandbox.h"

using tooling::SandboxFacts;

namespace {

class SandboxTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static const testenv::TempDir scratch("sandbox-test");
        dir_ = scratch.file("sb");
        tooling::SandboxOptions options;
        options.logBytes = 256 << 10;
        std::string error;
        ASSERT_TRUE(tooling::createSandbox(dir_, options, error)) << error;
    }
    static std::string path(const std::string& relative) { return dir_ + "/" + relative; }

    static std::string dir_;
};
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
