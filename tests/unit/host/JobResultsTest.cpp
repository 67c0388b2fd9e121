// Job result files: where they are, which existing files are used as they are, and their
// generation, which never writes through a link.
#include <gtest/gtest.h>
#include <unistd.h>

#include "host/JobResults.h"
#include "host/Log.h"
#include "support/TestEnv.h"

namespace {

TEST(RetrieveResults, FindsChecksAndGeneratesTheResultFile) {
    testenv::RegistryFixture registry;
    host::setLogFilePath(registry.dir().file("library.log"));
    const std::string jobResults = registry.makeDir("jr");
    registry.setString("Base", "dJOBRESULTSDIR", jobResults);
    registry.setString("Base", "sPhysicalMachine", "client01");
    const std::string job = jobResults + "/WY_JobResults/2/0/55";
    testenv::writeFile(job + "/JobSummary.txt", "Job Id: 55\n");

    RetrieveResults restore(2, 55, 2, nullptr, 0);
    ASSERT_NE(nullptr, restore.getPath());
    EXPECT_EQ(job + "/restore.out", restore.getPath());
    EXPECT_EQ(nullptr, RetrieveResults(2, 56, 1, nullptr, 0).getPath());  // no such job
    EXPECT_EQ(nullptr, RetrieveResults(2, 55, 1, "unknown", 0).getPath());

    const std::string path = restore.getPath();
    EXPECT_FALSE(restore.checkBackupFile(path.c_str()));  // missing
    testenv::writeFile(path, "");
    EXPECT_FALSE(restore.checkBackupFile(path.c_str()));  // empty
    // A link is replaced by the generated file; what it pointed to stays as it was.
    const std::string elsewhere = registry.dir().file("elsewhere.txt");
    testenv::writeFile(elsewhere, "not a result\n");
    ASSERT_EQ(0, unlink(path.c_str()));
    ASSERT_EQ(0, symlink(elsewhere.c_str(), path.c_str()));
    EXPECT_FALSE(restore.checkBackupFile(path.c_str()));
    ASSERT_TRUE(restore.generateFile(path.c_str()));
    EXPECT_EQ("not a result\n", testenv::readFile(elsewhere));
    EXPECT_TRUE(restore.checkBackupFile(path.c_str()));
    const std::string text = testenv::readFile(path);
    EXPECT_TRUE(testenv::contains(text, "job 55 (restore)"));
    EXPECT_TRUE(testenv::contains(text, "Job Id: 55"));
    host::resetLogSettings();
}

}  // namespace
