#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "logselect/FileSelection.h"
#include "support/TestEnv.h"

namespace {

void setAge(const std::string& path, time_t when) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

class FileSelectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        now_ = time(nullptr);
        for (const char* name : {"wyd.log", "x.log", "y.txt", "core.dmp", "a.zip", "b.lck"})
            testenv::writeFile(dir_.file(name), "data\n");
        setAge(dir_.file("wyd.log"), now_ - 2 * 365 * 86400);
        setAge(dir_.file("x.log"), now_ - 7200);
        dir_.mkdir("sub");
    }
    std::vector<std::string> list(int mode, bool dumps, bool archives,
                                  std::vector<std::string>* names = nullptr) {
        std::vector<std::string> result;
        ok_ = getLogFilesList(dir_.path().c_str(), result, names, mode, now_ - 3600, 0, dumps,
                              archives, nullptr);
        return sorted(result);
    }
    testenv::TempDir dir_{"ls-list"};
    time_t now_ = 0;
    bool ok_ = false;
};

TEST_F(FileSelectionTest, OldLogsArchivesDumpsAndLocksFollowTheRules) {
    using V = std::vector<std::string>;
    EXPECT_EQ(list(1, false, false), (V{"wyd.log", "y.txt"}));
    EXPECT_EQ(list(1, true, true), (V{"a.zip", "core.dmp", "wyd.log", "y.txt"}));
    EXPECT_EQ(list(0, true, true), (V{"a.zip", "core.dmp", "sub", "wyd.log", "y.txt"}));
    EXPECT_EQ(list(3, true, true), (V{"a.zip", "sub", "wyd.log", "y.txt"}));
    EXPECT_EQ(list(2, true, true), V{});
    EXPECT_TRUE(ok_);
    std::vector<std::string> names = {"*.log", "*.lck"};
    EXPECT_EQ(list(0, true, true, &names), V{"wyd.log"});
}

TEST_F(FileSelectionTest, FullPathsAndExclusions) {
    std::vector<std::string> result;
    std::set<std::string> exclude = {dir_.file("y.txt"), dir_.file("sub")};
    ASSERT_TRUE(
        getFilesList(result, dir_.path().c_str(), "*", true, 0, 0, true, true, &exclude, false));
    EXPECT_EQ(sorted(result), (std::vector<std::string>{dir_.file("a.zip"), dir_.file("core.dmp"),
                                                        dir_.file("wyd.log"), dir_.file("x.log")}));
    // An entry ending in ".lck" is removed from the whole list, also from earlier calls.
    std::vector<std::string> withLock = {"old.lck"};
    ASSERT_TRUE(
        getFilesList(withLock, dir_.path().c_str(), "y*", false, 0, 0, true, true, nullptr, true));
    EXPECT_EQ(withLock, std::vector<std::string>{"y.txt"});
    EXPECT_FALSE(getFilesList(result, dir_.file("y.txt").c_str(), nullptr, false, 0, 0, true, true,
                              nullptr, true));
}

TEST_F(FileSelectionTest, LogInDirectoryNameGetsTheTimeTest) {
    std::string readme = dir_.mkdir("app.logs") + "/readme";
    testenv::writeFile(readme, "x");
    setAge(readme, now_ - 7200);
    EXPECT_FALSE(canIncludeFile(readme, now_ - 3600, 0, true, true, nullptr));
    EXPECT_TRUE(canIncludeFile(readme, 0, 0, true, true, nullptr));
    // Always-included service logs pass whatever their suffix rules or age.
    EXPECT_TRUE(canIncludeFile(dir_.file("wyd.log"), now_, 0, false, false, nullptr));
}

TEST(FileUtilities, OldLogsAndTheirLookup) {
    testenv::TempDir dir("ls-old");
    for (const char* name : {"wyd_1.log", "wyd_2.log", "JobManager_1.log", "other.txt"})
        testenv::writeFile(dir.file(name), "x");
    dir.mkdir("dir_1.log");
    std::vector<std::string> old;
    ASSERT_TRUE(getOldLogs(dir.path(), old));
    EXPECT_EQ(sorted(old), (std::vector<std::string>{"JobManager_1.log", "wyd_1.log"}));
    EXPECT_FALSE(getOldLogs(dir.file("other.txt"), old));
    EXPECT_FALSE(getOldLogs(dir.file("absent"), old));

    std::string name = "wyd.log";
    EXPECT_EQ(checkOlderLogs(name, {"JobManager_1.log", "wyd_1.log"}), 2);
    EXPECT_EQ(name, "wyd_1.log");
    name = "wyd_1.log";
    EXPECT_EQ(checkOlderLogs(name, {}), 0);
    name = "xyz.log";
    EXPECT_EQ(checkOlderLogs(name, {"wyd_1.log"}), 1);
    EXPECT_EQ(name, "xyz.log");
}

TEST(FileUtilities, NewestFirstOrderKeepsUnreadableFilesLast) {
    testenv::TempDir dir("ls-mtime");
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
        std::string path = dir.file("f" + std::to_string(i));
        if (i % 3 != 0) {
            testenv::writeFile(path, "x");
            setAge(path, 1000000 + i * 10);
        }
        files.push_back(path);  // every third one does not exist
    }
    std::sort(files.begin(), files.end(), compareFileMTime);
    EXPECT_TRUE(std::is_partitioned(files.begin(), files.end(), testenv::exists));
    EXPECT_EQ(files.front(), dir.file("f38"));
    EXPECT_TRUE(IsFolder(dir.path()));
    EXPECT_FALSE(IsFolder(files.front()));
}

}  // namespace
