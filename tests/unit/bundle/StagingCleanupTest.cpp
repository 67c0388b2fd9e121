// Pruning of old staging directories, temporary copies and the proxy download folder.
#include <gtest/gtest.h>
#include <sys/time.h>

#include <tuple>

#include "bundle/StagingCleanup.h"
#include "common/TempFolders.h"
#include "support/RequestHarness.h"

namespace {

using harness::Installation;

void ageBy(const std::string& path, long days) {
    struct timeval times[2];
    gettimeofday(&times[0], nullptr);
    times[0].tv_sec -= days * 86400;
    times[1] = times[0];
    ASSERT_EQ(0, utimes(path.c_str(), times));
}

// Staging folders of any case older than seven days go; a plain file of such a name stays.
TEST(DeleteOldLogBundles, RemovesOnlyStagingFoldersOlderThanTheRetention) {
    Installation inst;
    const std::string& dir = inst.jobResultsDir;
    testenv::writeFile(dir + "/Support_123_456_789/bundle.tar", "x");
    testenv::writeFile(dir + "/support_x", "plain file");
    const std::tuple<const char*, long, bool> entries[] = {
        // name, age in days, kept
        {"Support_123_456_789", 8, false}, {"Support_1_2_3", 6, true},
        {"SUPPORT_old", 30, false},        {"support_", 30, true},
        {"Results_old", 30, true},         {"support_x", 30, true}};
    for (const auto& [name, days, kept] : entries) {
        if (!testenv::exists(dir + "/" + name))
            inst.registry.makeDir("jobResults/" + std::string(name));
        ageBy(dir + "/" + name, days);
    }
    DeleteOldLogBundles(dir.c_str());
    for (const auto& [name, days, kept] : entries)
        EXPECT_EQ(kept, testenv::exists(dir + "/" + name)) << name;
    std::string log = inst.log();
    EXPECT_TRUE(testenv::contains(log, "Sendlogs cleanup interval is set to 7 days"));
    EXPECT_TRUE(
        testenv::contains(log, "Folder [" + dir + "/Support_1_2_3] is modified in last 7 days"));
}

TEST(DeleteOldLogBundles, HonoursTheConfiguredRetentionAndNeverFollowsLinks) {
    Installation inst;
    inst.registry.setNumber("EventManager", "nSendlogsOldBundlesCleanupInterval", 3);
    std::string target = inst.registry.makeDir("elsewhere");
    testenv::writeFile(target + "/keep.txt", "keep");
    std::string four = inst.registry.makeDir("jobResults/Support_4");
    ageBy(four, 4);
    std::string link = inst.jobResultsDir + "/Support_link";
    ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));

    DeleteOldLogBundles(inst.jobResultsDir.c_str());
    EXPECT_FALSE(testenv::exists(four));
    EXPECT_TRUE(testenv::exists(target + "/keep.txt"));
}

TEST(DeleteOldLogBundles, PrunesLeftoversAtTheEndOfARequest) {
    Installation inst;
    std::string besideLogs = inst.registry.makeDir("Orvion/Support_9_9_9");
    std::string inResults = inst.registry.makeDir("jobResults/Support_8_8_8");
    ageBy(besideLogs, 10);
    ageBy(inResults, 10);
    harness::run(harness::Request{});
    EXPECT_FALSE(testenv::exists(besideLogs));
    EXPECT_FALSE(testenv::exists(inResults));
}

TEST(CleanUpTempData, RemovesTheCopyAndItsFolderOnlyWhenEmpty) {
    Installation inst;
    std::string lone = inst.registry.makeDir("tmp1") + "/1234_a.log";
    testenv::writeFile(lone, "copy");
    EXPECT_FALSE(CleanUpTempData(lone).IsError());
    EXPECT_FALSE(testenv::exists(lone));
    EXPECT_FALSE(testenv::exists(inst.registry.dir().file("tmp1")));

    std::string shared = inst.registry.makeDir("tmp2") + "/1234_a.log";
    testenv::writeFile(shared, "copy");
    testenv::writeFile(inst.registry.dir().file("tmp2/other"), "stays");
    EXPECT_FALSE(CleanUpTempData(shared).IsError());
    EXPECT_FALSE(testenv::exists(shared));
    EXPECT_TRUE(testenv::exists(inst.registry.dir().file("tmp2/other")));

    std::string missing = inst.registry.dir().file("tmp3/none.log");
    EXPECT_FALSE(CleanUpTempData(missing).IsError());
}

TEST(ProxyCleanUp, RemovesTheFolderOnlyWhenRequired) {
    Installation inst;
    std::string folder = inst.registry.makeDir("proxyClient/ABC");
    testenv::writeFile(folder + "/wyd.log", "x");
    for (bool required : {false, true}) {
        {
            ProxyCleanUp guard;
            guard.required = required;
            guard.directory = folder;
        }
        EXPECT_EQ(!required, testenv::exists(folder));
    }
}

}  // namespace
