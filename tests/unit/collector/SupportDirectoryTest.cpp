#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "collector/SupportDirectory.h"
#include "collector/infoNLogsCollector.h"
#include "common/Appliance.h"
#include "host/ThreadPool.h"
#include "support/RequestHarness.h"

namespace {

using harness::Installation;

TEST(SupportDirectory, IsCreatedInTheJobResultsDirectoryWithProcessThreadAndTime) {
    Installation inst;
    std::string dir;
    createSupportDirectory(dir, "/nonexistent-fallback", 1700000000);
    std::string expected = inst.jobResultsDir + "/Support_" + std::to_string(getpid()) + "_" +
                           std::to_string(WyThread::getCurrentThreadID()) + "_1700000000";
    EXPECT_EQ(expected, dir);
    struct stat st;
    ASSERT_EQ(0, stat(dir.c_str(), &st));
    EXPECT_EQ(S_IFDIR | 0700u, st.st_mode & (S_IFMT | 0777));  // a folder only its owner opens
}

TEST(SupportDirectory, LeavesTheOutputUnchangedOnFailure) {
    Installation inst(false);
    std::string dir;
    createSupportDirectory(dir, inst.registry.dir().file("missing/base"), 42);
    EXPECT_TRUE(dir.empty());
    EXPECT_TRUE(testenv::contains(inst.log(), "Failed to create supportDir["));
    // An empty base never puts a staging directory at the file system root.
    createSupportDirectory(dir, "", 42);
    EXPECT_TRUE(dir.empty());
    EXPECT_TRUE(testenv::contains(inst.log(), "Temporary directory is empty"));
}

TEST(SupportDirectory, ApplianceMediaAgentStagesInItsConfiguredFolder) {
    Installation inst;
    EXPECT_FALSE(is_tessaro_ma());
    inst.registry.setString("InstalledPackages", "1139", "Appliance media agent");
    std::string stage = inst.registry.makeDir("ws-ddb");
    inst.registry.setString("Base", "sTSSendLogStageDir", stage);
    EXPECT_TRUE(is_tessaro_ma());
    std::string dir;
    createSupportDirectory(dir, "/unused", 7);
    EXPECT_EQ(0u, dir.rfind(stage + "/Support_", 0)) << dir;
}

TEST(ReplyName, LongClientNamesAreShortenedVisiblyAndStayDistinct) {
    Installation inst;
    char buffer[128];
    ASSERT_TRUE(composeReplyName(nullptr, "_logs.tar.gz", buffer, sizeof(buffer)));
    EXPECT_STREQ("NO NAME_logs.tar.gz", buffer);
    std::string fits(115, 'a');
    ASSERT_TRUE(composeReplyName(fits.c_str(), "_logs.tar.gz", buffer, sizeof(buffer)));
    EXPECT_EQ(fits + "_logs.tar.gz", buffer);

    std::set<std::string> seen;
    for (const std::string& name :
         {std::string(116, 'a'), std::string(300, 'a'), std::string(300, 'a') + "b"}) {
        ASSERT_TRUE(composeReplyName(name.c_str(), "_logs.tar.gz", buffer, sizeof(buffer)));
        std::string reply = buffer;
        EXPECT_LE(reply.size(), 127u);
        EXPECT_EQ(".tar.gz", reply.substr(reply.size() - 7));
        EXPECT_TRUE(testenv::contains(reply, "~"));
        seen.insert(reply);
    }
    EXPECT_EQ(3u, seen.size());
    EXPECT_TRUE(testenv::contains(inst.log(), "does not fit the reply name"));
}

}  // namespace
