#include <gtest/gtest.h>

#include <list>
#include <string>

#include "common/LocalTime.h"
#include "logselect/EntryFields.h"
#include "logselect/JobFilter.h"
#include "logselect/TimeWindow.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"
#include "tooling/LogGenerator.h"

namespace {

using lstest::entry;
using lstest::localTime;

// Every time test runs in UTC and in a zone with daylight-saving time.
const auto kZones = ::testing::Values("UTC", "Europe/Berlin");

class TimeWindowTest : public ::testing::TestWithParam<const char*> {
  protected:
    lstest::ScopedZone zone_{GetParam()};
    std::string byTime(const std::string& name, time_t from, time_t to) {
        lstest::Dump dump;
        ok_ = getLogFilesByTime(dump.file(), dir_.path(), name, from, to, "m1", "", false, nullptr,
                                nullptr);
        return dump.text();
    }
    testenv::TempDir dir_{"ls-time"};
    bool ok_ = false;
};

TEST_P(TimeWindowTest, WindowIsWidenedToWholeMinutes) {
    int y = lstest::thisYear();
    const std::string a = entry("10001", "1", "03/10", "10:14:59", "1");
    const std::string b = entry("10001", "1", "03/10", "10:15:00", "1");
    const std::string c = entry("10001", "1", "03/10", "10:20:59", "1");
    const std::string d = entry("10001", "1", "03/10", "10:21:00", "1");
    testenv::writeFile(dir_.file("x.log"), lstest::header(y) + a + b + c + d);
    std::string dump =
        byTime("x.log", localTime(y, 3, 10, 10, 15, 42), localTime(y, 3, 10, 10, 20, 5));
    EXPECT_EQ(dump, lstest::banner("m1", "x.log") + b + c);
    EXPECT_TRUE(ok_);
    // Only an upper bound: everything up to the end of its minute, whatever its age.
    EXPECT_EQ(byTime("x.log", 0, localTime(y, 3, 10, 10, 20, 5)),
              lstest::banner("m1", "x.log") + a + b + c);
}

TEST_P(TimeWindowTest, YearComesFromTheHeaderAndGrowsAtNewYear) {
    const std::string dec = entry("10001", "1", "12/30", "23:00:00", "1");
    const std::string jan = entry("10001", "1", "01/02", "08:00:00", "1");
    testenv::writeFile(dir_.file("x.log"), lstest::header(2025) + dec + jan);
    EXPECT_EQ(byTime("x.log", localTime(2026, 1, 1, 0, 0, 0), localTime(2026, 1, 3, 0, 0, 0)),
              lstest::banner("m1", "x.log") + jan);
    EXPECT_EQ(byTime("x.log", localTime(2025, 12, 30, 0, 0, 0), localTime(2025, 12, 31, 0, 0, 0)),
              lstest::banner("m1", "x.log") + dec);
}

TEST_P(TimeWindowTest, ContinuationLinesFollowTheirEntry) {
    int y = lstest::thisYear();
    const std::string in = entry("10001", "1", "03/10", "10:00:00", "1") + "\tmore of it\n";
    const std::string out = entry("10001", "1", "03/10", "11:00:00", "1") + "  not this\n";
    const std::string seven = "10001 1 03/10 10:00:01 1 a b\ncontinued\n";
    testenv::writeFile(dir_.file("x.log"), lstest::header(y) + in + out + seven);
    EXPECT_EQ(byTime("x.log", localTime(y, 3, 10, 9, 0, 0), localTime(y, 3, 10, 10, 30, 0)),
              lstest::banner("m1", "x.log") + in);
}

TEST_P(TimeWindowTest, BadTimeStopsWithLinesBeforeKept) {
    int y = lstest::thisYear();
    const std::string a = entry("10001", "1", "03/10", "10:00:00", "1");
    const std::string bad = entry("10001", "1", "1x/05", "10:00:01", "1");
    const std::string c = entry("10001", "1", "03/10", "10:00:02", "1");
    testenv::writeFile(dir_.file("x.log"), lstest::header(y) + a + bad + c);
    EXPECT_EQ(byTime("x.log", localTime(y, 3, 10, 9, 0, 0), 0), lstest::banner("m1", "x.log") + a);
    EXPECT_FALSE(ok_);
}

TEST_P(TimeWindowTest, OverLongLineIsWrittenWhole) {
    int y = lstest::thisYear();
    const std::string a =
        entry("10001", "1", "03/10", "10:00:00", "1", "0", std::string(40000, 'z'));
    testenv::writeFile(dir_.file("x.log"), lstest::header(y) + a);
    EXPECT_EQ(byTime("x.log", 1, 0), lstest::banner("m1", "x.log") + a);
}

TEST_P(TimeWindowTest, UnknownFormatsPassWithoutHarm) {
    std::string source = std::string(SENDLOGS_SHARED_DATA_DIR) + "/loghub/HDFS_2k.log";
    if (!testenv::exists(source)) GTEST_SKIP() << "no sample data";
    testenv::writeFile(dir_.file("HDFS_2k.log"), testenv::readFile(source));
    // Its entries start with a digit but carry no month/day field: reading stops cleanly.
    EXPECT_EQ(byTime("HDFS_2k.log", 1, 0), "");
    EXPECT_FALSE(ok_);
}

// Daylight-saving time follows each line's own date, so a summer line read in winter (and the
// reverse) keeps its time.
TEST_P(TimeWindowTest, EachLineKeepsItsOwnDaylightSavingTime) {
    const int y = lstest::thisYear();
    const std::string winter = entry("10001", "1", "01/15", "12:00:10", "1");
    const std::string summer = entry("10001", "1", "07/15", "12:00:10", "1");
    testenv::writeFile(dir_.file("x.log"), lstest::header(y) + winter + summer);
    EXPECT_EQ(byTime("x.log", localTime(y, 1, 15, 12, 0, 0), localTime(y, 1, 15, 12, 0, 59)),
              lstest::banner("m1", "x.log") + winter);
    EXPECT_EQ(byTime("x.log", localTime(y, 7, 15, 12, 0, 0), localTime(y, 7, 15, 12, 0, 59)),
              lstest::banner("m1", "x.log") + summer);
}

// The hour repeated when daylight-saving time ends is one instant for the lines and for the
// window, whatever the process converted before.
TEST_P(TimeWindowTest, RepeatedHourIsReadAsItsFirstOccurrence) {
    const std::string early = entry("10001", "1", "10/25", "02:30:10", "1", "[A:0]", "early");
    const std::string late = entry("10001", "1", "10/25", "02:30:20", "1", "[A:0]", "late");
    testenv::writeFile(dir_.file("x.log"), lstest::header(2026) + early + late);
    const time_t from = common::localTimeToEpoch(2026, 10, 25, 2, 30, 0);
    for (int month : {1, 7, 11}) {
        lstest::localTime(2026, month, 1, 12, 0, 0);  // a conversion of either kind before
        EXPECT_EQ(from, common::localTimeToEpoch(2026, 10, 25, 2, 30, 0));
        EXPECT_EQ(byTime("x.log", from, from + 59), lstest::banner("m1", "x.log") + early + late);
    }
    if (std::string(GetParam()) == "Europe/Berlin") {
        EXPECT_EQ(from, 1792888200);  // 00:30 UTC: still summer time
        bool exists = true;
        common::localTimeToEpoch(2026, 3, 29, 2, 30, 0, &exists);
        EXPECT_FALSE(exists) << "the skipped hour does not exist";
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, TimeWindowTest, kZones);

TEST(FindFileOffsets, NoWindowOrWholeFileWindowMeansNoLimits) {
    testenv::TempDir dir("ls-off");
    long long start = -1, end = -1;
    findFileOffsets(dir.file("absent").c_str(), 0, 0, start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0);
    testenv::writeFile(dir.file("x.log"), "anything\n");
    findFileOffsets(dir.file("x.log").c_str(), 1, time(nullptr) + 3600, start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0);
}

// An entry exactly at the start of the window belongs to it: when a probe lands on it, the
// start offset stays at or before it.
TEST(FindFileOffsets, EntryExactlyAtTheStartIsInside) {
    testenv::TempDir dir("ls-off");
    const int y = lstest::thisYear();
    std::string text = lstest::header(y);
    for (int i = 0; i < 64; ++i) {
        char time[32];
        snprintf(time, sizeof time, "%02d:%02d:00", 10 + i / 60, i % 60);
        text += entry("10001", "1", "03/10", time, "1");
    }
    testenv::writeFile(dir.file("x.log"), text);
    // The first probe reads the entry that follows the middle of the file.
    const size_t probed = text.find('\n', text.size() / 2) + 1;
    int hour = 0, minute = 0;
    ASSERT_EQ(2, sscanf(text.c_str() + probed, "%*s %*s %*s %d:%d", &hour, &minute));
    const time_t from = localTime(y, 3, 10, hour, minute, 0);
    long long start = -1, end = -1;
    findFileOffsets(dir.file("x.log").c_str(), from, from + 600, start, end);
    EXPECT_LE(start, (long long)probed);
    EXPECT_GT(end, (long long)probed);
}

TEST(FindFileOffsets, FileBegunInAnotherYearIsReadWhole) {
    testenv::TempDir dir("ls-off");
    std::string text = lstest::header(lstest::thisYear() - 1);
    for (int i = 0; i < 50; ++i) text += entry("10001", "1", "12/31", "10:00:00", "1");
    testenv::writeFile(dir.file("x.log"), text);
    long long start = -1, end = -1;
    findFileOffsets(dir.file("x.log").c_str(), 1000, 2000, start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, (long long)text.size());
}

// A generated one-day log of this year: the bisection must keep every line of the window
// inside the range, start at a line boundary, and read only a small part of the file.
class GeneratedDay : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        tooling::LogGenOptions options;
        options.seed = 3;
        options.onlyFile = "wyd.log";
        options.targetBytes = 8 << 20;
        options.start = localTime(lstest::thisYear(), 1, 1, 0, 0, 0);
        options.span = 86400;
        std::string error;
        ASSERT_TRUE(tooling::generateLogDirectory(dir_.path(), options, error)) << error;
        path_ = dir_.file("wyd.log");
        text_ = testenv::readFile(path_);
    }
    // The time of the entry line starting at offset, or -1 for another line.
    time_t timeAt(size_t offset) const {
        size_t eol = text_.find('\n', offset);
        logselect::EntryFields f;
        if (!logselect::isEntryStart(text_[offset]) ||
            !logselect::cutEntryFields(text_.data() + offset, eol - offset, f,
                                       logselect::kAllFields))
            return -1;
        int md[2], hms[3];
        if (!logselect::scanSeparated(f.date(), '/', md, 2) ||
            !logselect::scanSeparated(f.time(), ':', hms, 3))
            return -1;
        return localTime(lstest::thisYear(), md[0], md[1], hms[0], hms[1], hms[2]);
    }
    lstest::ScopedZone zone_{GetParam()};
    testenv::TempDir dir_{"ls-day"};
    std::string path_, text_;
};

TEST_P(GeneratedDay, WindowOffsetsHoldTheWindow) {
    time_t day = localTime(lstest::thisYear(), 1, 1, 0, 0, 0);
    for (time_t from : {day + 3600, day + 43210, day + 80000}) {
        time_t to = from + 300;
        long long start = -1, end = -1;
        findFileOffsets(path_.c_str(), from, to, start, end);
        ASSERT_GE(start, 0);
        ASSERT_GT(end, start);
        if (start > 0) {
            EXPECT_EQ(text_[start - 1], '\n');
        }
        // Four probes per bound leave at most a sixteenth of the file on each side.
        EXPECT_LT(end - start, (long long)text_.size() * 13 / 100);
        for (size_t offset = 0; offset < text_.size(); offset = text_.find('\n', offset) + 1) {
            time_t t = timeAt(offset);
            if (t < from || t > to) continue;
            ASSERT_GE((long long)offset, start) << "window line before the start offset";
            ASSERT_LE((long long)text_.find('\n', offset) + 1, end) << "window line after the end";
        }
    }
}

TEST_P(GeneratedDay, JobFilterWithWindowKeepsEveryJobLineOfTheWindow) {
    time_t from = localTime(lstest::thisYear(), 1, 1, 12, 0, 0);
    time_t to = from + 600;
    lstest::Dump dump;
    std::list<std::string> workers;
    ASSERT_TRUE(getServiceLogsByJobId(dump.file(), dir_.path(), "wyd.log", workers, 1001, {}, "m1",
                                      0, "", from, to, false, nullptr, nullptr));
    std::string out = dump.text();
    size_t expected = 0;
    for (size_t offset = 0; offset < text_.size(); offset = text_.find('\n', offset) + 1) {
        time_t t = timeAt(offset);
        std::string line = text_.substr(offset, text_.find('\n', offset) + 1 - offset);
        if (t < from || t > to || line.find(" 1001 1 Main ") == std::string::npos) continue;
        ++expected;
        ASSERT_NE(out.find(line.substr(0, 16383)), std::string::npos) << line;
    }
    EXPECT_GT(expected, 0u);
    EXPECT_LT(out.size(), text_.size() / 8);
}

INSTANTIATE_TEST_SUITE_P(Zones, GeneratedDay, kZones);

}  // namespace
