#include <gtest/gtest.h>

#include "bundle/ProxyBundle.h"
#include "common/OptionBits.h"
#include "diag/JobResultFiles.h"
#include "host/Process.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"

namespace {

class JobResultFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registry_.setString("Base", "sPhysicalMachine", "client01");
        results_ = registry_.makeDir("JobResults");
        registry_.setString("Base", "dJOBRESULTSDIR", results_);
    }
    testenv::RegistryFixture registry_;
    std::string results_;
};

TEST_F(JobResultFilesTest, ResultDirectoryLayout) {
    char resultDir[1024], baseDir[1024];
    EXPECT_EQ(getJobResultFilePath(resultDir, baseDir, "client01", 123), -1);
    EXPECT_EQ(std::string(resultDir), results_ + "/WY_JobResults/2/0/123");
    EXPECT_STREQ(baseDir, "");

    registry_.makeDir("JobResults/WY_JobResults/2/0/123");
    registry_.makeDir("JobResults/2");
    EXPECT_EQ(getJobResultFilePath(resultDir, baseDir, nullptr, 123), 0);
    EXPECT_EQ(std::string(baseDir), results_ + "/2/");
    EXPECT_EQ(getJobResultFilePath(resultDir, baseDir, "client01", 0), 0);
    EXPECT_EQ(std::string(resultDir), results_ + "/WY_JobResults");
    // A client the registry does not know has no results directory.
    EXPECT_EQ(getJobResultFilePath(resultDir, baseDir, "nobody", 123), -1);
}

TEST_F(JobResultFilesTest, RmanOutputIsAppendedUnchangedAfterABanner) {
    std::string output("RMAN> backup\n\0binary\xff tail", 26);
    testenv::writeFile(results_ + "/WY_JobResults/2/0/123/restore.out", output);
    testenv::TempDir scratch("ls-rman");
    std::string library = scratch.file("libwyobk.log");

    // What one call appends to a fresh dump.
    auto appended = [&](const char* client, unsigned long options) {
        lstest::Dump dump;
        EXPECT_TRUE(
            diag::appendRmanAndLibraryLog(dump.file(), 123, client, options, library.c_str()));
        return dump.text();
    };
    EXPECT_EQ(appended("client01", OPT_NO_ORACLE_RESULTS | OPT_ORACLE_RESTORE), "");
    EXPECT_EQ(appended("client01", 0), "");
    const std::string rman = lstest::banner("client01", "restore.out") + output;
    EXPECT_EQ(appended("client01", OPT_ORACLE_RESTORE), rman);
    testenv::writeFile(library, "media library\n");
    const std::string media = lstest::banner("client01", "libwyobk.log") + "media library\n";
    EXPECT_EQ(appended(nullptr, OPT_ORACLE_RESTORE), rman + media);
    EXPECT_EQ(appended("client01", OPT_ORACLE_BACKUP), media) << "backup output missing";

    lstest::Dump failed;
    EXPECT_FALSE(dumpFileToLogFile(failed.file(), scratch.file("absent").c_str(), "m", "x"));
    EXPECT_EQ(failed.text(), "");
    // A full disk shows only when the buffered bytes leave: still a failure.
    FILE* full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(dumpFileToLogFile(full, library.c_str(), "m", "libwyobk.log"));
    fclose(full);
}

TEST_F(JobResultFilesTest, ReplicationResultFiles) {
    char out[1024];
    registry_.makeDir("JobResults/cdr/77");
    registry_.makeDir("JobResults/cdr/copyback/0");
    testenv::writeFile(results_ + "/cdr/77/Collect.txt", "one\ntwo\n");
    // Type 8 without a job id uses the pair.
    EXPECT_TRUE(getFLRResult(out, 0, 77, 8, nullptr, 0));
    EXPECT_EQ(std::string(out), results_ + "/cdr/77/JobId_PairId_77");
    EXPECT_EQ(testenv::readFile(out), "one\ntwo\n");
    // Type 6 always uses the copy-back directory of the job, here 0, without Collect.txt.
    EXPECT_FALSE(getFLRResult(out, 0, 77, 6, nullptr, 0));
    EXPECT_TRUE(getFLRResult(out, 0, 77, 2, nullptr, 0));
    EXPECT_EQ(std::string(out), results_ + "/cdr/77/OrphanFiles.txt");
    EXPECT_TRUE(getFLRResult(out, 0, 77, 1, nullptr, 0));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(getFLRResult(out, 0, 77, 5, nullptr, 0));
    EXPECT_FALSE(getFLRResult(out, 0, 78, 2, nullptr, 0));  // no such pair directory
    // A copy that cannot be written is a failure.
    registry_.makeDir("JobResults/cdr/79/JobId_PairId_79");
    testenv::writeFile(results_ + "/cdr/79/Collect.txt", "x\n");
    EXPECT_FALSE(getFLRResult(out, 0, 79, 8, nullptr, 0));
}

TEST(ProxyBundle, AppendsTheFolderContentUnderRelativeNames) {
    testenv::TempDir dir("ls proxy 'quoted'");
    std::string source = dir.mkdir("proxy Client");
    testenv::writeFile(source + "/wyd.log", "x\n");
    testenv::writeFile(source + "/jobResults/a b.txt", "y\n");
    std::string bundle = dir.file("logFiles 1.tar");
    ASSERT_TRUE(bundleProxyClientLogsAndJR(bundle.c_str(), source));
    const std::string listing = testenv::output("tar -tf " + host::shellQuote(bundle));
    EXPECT_TRUE(testenv::contains(listing, "./wyd.log"));
    EXPECT_TRUE(testenv::contains(listing, "./jobResults/a b.txt"));
    // A folder that is gone: the command runs (no failure to report) and packs nothing else.
    std::string before = testenv::readFile(bundle);
    EXPECT_TRUE(bundleProxyClientLogsAndJR(bundle.c_str(), dir.file("absent")));
    EXPECT_EQ(testenv::readFile(bundle), before);
    // The command line may take 1023 characters, and not one more.
    const size_t room =
        1023 - std::string("cd  && tar -rvf  . ").size() - host::shellQuote(bundle).size();
    EXPECT_TRUE(bundleProxyClientLogsAndJR(bundle.c_str(), "/" + std::string(room - 1, 'a')));
    EXPECT_FALSE(bundleProxyClientLogsAndJR(bundle.c_str(), "/" + std::string(room, 'a')));
}

}  // namespace
