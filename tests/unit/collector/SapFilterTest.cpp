// The SAP archive-log filter: folders, registry age limit, excluded extensions, wider window.
#include <gtest/gtest.h>
#include <sys/time.h>

#include <algorithm>

#include "collector/SapFilter.h"
#include "host/Log.h"
#include "support/TestEnv.h"

namespace {

constexpr long kDay = 86400;

class SapFilter : public ::testing::Test {
  protected:
    void SetUp() override {
        host::setLogFilePath(registry_.dir().file("library.log"));
        dir_ = registry_.makeDir("saparch");
        for (const char* name : {"arch1.log", "x.data.log", "db.dbf", "redo.ARC", "b.DATA"})
            testenv::writeFile(dir_ + "/" + name, "x\n");
        registry_.makeDir("saparch/sub");
    }
    void TearDown() override { host::resetLogSettings(); }
    void setMtime(const std::string& name, time_t when) {
        const std::string path = dir_ + "/" + name;
        testenv::writeFile(path, "x\n");
        struct timeval times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(0, utimes(path.c_str(), times));
    }
    std::vector<std::string> select(const std::string& name, long from, long to, time_t now) {
        std::vector<std::string> selected;
        last_ = collector::applySapFilterAt(name, dir_, selected, from, to, now);
        for (std::string& path : selected) path = path.substr(dir_.size() + 1);
        std::sort(selected.begin(), selected.end());
        return selected;
    }
    testenv::RegistryFixture registry_;
    std::string dir_;
    int last_ = -1;
};

TEST_F(SapFilter, SelectsRecentFilesWithoutDatabaseExtensions) {
    const time_t now = time(nullptr);
    EXPECT_EQ(std::vector<std::string>{"arch1.log"}, select("SAPARCH_PRD", 0, 0, now));
    EXPECT_EQ(1, last_);
    EXPECT_EQ(std::vector<std::string>{"arch1.log"}, select("x_SAPBACKUP_Q", 0, 0, now));
    EXPECT_TRUE(select("ORACLE_PRD", 0, 0, now).empty());
    EXPECT_EQ(0, last_);
    dir_ += "/missing";
    EXPECT_TRUE(select("SAPARCH_PRD", 0, 0, now).empty());
    EXPECT_EQ(0, last_);
}

TEST_F(SapFilter, AgeLimitComesFromTheRegistryUpToThirtyDays) {
    const time_t eightDaysOn = time(nullptr) + 8 * kDay;
    EXPECT_TRUE(select("SAPARCH_PRD", 0, 0, eightDaysOn).empty());  // default 7 days
    EXPECT_EQ(1, last_);
    registry_.setNumber("OracleSapAgent", "nExcludeSAPLogsOlderThanNDays", 30);
    EXPECT_EQ(std::vector<std::string>{"arch1.log"}, select("SAPARCH_PRD", 0, 0, eightDaysOn));
    registry_.setNumber("OracleSapAgent", "nExcludeSAPLogsOlderThanNDays", 31);  // means 7
    EXPECT_TRUE(select("SAPARCH_PRD", 0, 0, eightDaysOn).empty());
}

TEST_F(SapFilter, WindowIsWidenedBySevenDaysOnEachSideEndsIncluded) {
    const long from = 1700000000, to = from + kDay;
    setMtime("arch1.log", from);
    setMtime("early_in.log", from - 7 * kDay);
    setMtime("early_out.log", from - 7 * kDay - 1);
    setMtime("late_in.log", to + 7 * kDay);
    setMtime("late_out.log", to + 7 * kDay + 1);
    EXPECT_EQ((std::vector<std::string>{"arch1.log", "early_in.log", "late_in.log"}),
              select("SAPARCH_PRD", from, to, time(nullptr)));
}

}  // namespace
