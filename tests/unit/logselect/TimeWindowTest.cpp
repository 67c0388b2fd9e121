#include <gtest/gtest.h>

#include <list>
#include <string>

#include "logselect/EntryFields.h"
#include "logselect/JobFilter.h"
#include "logselect/TimeWindow.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"
#include "tooling/LogGenerator.h"

namespace {

using lstest::entry;
using lstest::localTime;

class TimeWindowTest : public ::testing::Test {
  protected:
    std::string byTime(const std::string& name, time_t from, time_t to) {
        lstest::Dump dump;
        ok_ = getLogFilesByTime(dump.file(), dir_.path(), name, from, to, "m1", "", false, nullptr,
                                nullptr);
        return dump.text();
    }
    testenv::TempDir dir_{"ls-time"};
    bool ok_ = false;
};

TEST_F(TimeWindowTest, WindowIsWidenedToWholeMinutes) {
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

TEST_F(TimeWindowTest, YearComesFromTheHeaderAndGrowsAtNewYear) {
    const std::string dec = entry("10001", "1", "12/30", "23:00:00", "1");
    const std::string jan = entry("10001", "1", "01/02", "08:00:00", "1");
    testenv::writeFile(dir_.file("x.log"), lstest::header(2025) + dec + jan);
    EXPECT_EQ(byTime("x.log", localTime(2026, 1, 1, 0, 0, 0), localTime(2026, 1, 3, 0, 0, 0)),
              lstest::banner("m1", "x.log") + jan);
    EXPECT_EQ(byTime("x.log", localTime(2025, 12, 30, 0, 0, 0), localTime(2025, 12, 31, 0, 0, 0)),
              lstest::banner("m1", "x.log") + dec);
}

TEST_F(TimeWindowTest, ContinuationLinesFollowTheirEntry) {
    int y = lstest::thisYear();
    const std::string in = entry("10001", "1", "03/10", "10:00:00", "1") + "\tmore of it\n";
    const std::string out = entry("10001", "1", "03/10", "11:00:00", "1") + "  not this\n";
    const std::string seven = "10001 1 03/10 10:00:01 1 a b\ncontinued\n";
    testenv::writeFile(dir_.file("x.log"), lstest::header(y) + in + out + seven);
    EXPECT_EQ(byTime("x.log", localTime(y, 3, 10, 9, 0, 0), localTime(y, 3, 10, 10, 30, 0)),
              lstest::banner("m1", "x.log") + in);
}

TEST_F(TimeWindowTest, BadTimeStopsWithLinesBeforeKept) {
    int y = lstest::thisYear();
    const std::string a = entry("10001", "1", "03/10", "10:00:00", "1");
    const std::string bad = entry("10001", "1", "1x/05", "10:00:01", "1");
    const std::string c = entry("10001", "1", "03/10", "10:00:02", "1");
    testenv::writeFile(dir_.file("x.log"), lstest::header(y) + a + bad + c);
    EXPECT_EQ(byTime("x.log", localTime(y, 3, 10, 9, 0, 0), 0), lstest::banner("m1", "x.log") + a);
    EXPECT_FALSE(ok_);
}

TEST_F(TimeWindowTest, OverLongLineIsWrittenWhole) {
    int y = lstest::thisYear();
    const std::string a =
        entry("10001", "1", "03/10", "10:00:00", "1", "0", std::string(40000, 'z'));
    testenv::writeFile(dir_.file("x.log"), lstest::header(y) + a);
    EXPECT_EQ(byTime("x.log", 1, 0), lstest::banner("m1", "x.log") + a);
}

TEST_F(TimeWindowTest, UnknownFormatsPassWithoutHarm) {
    std::string source = std::string(SENDLOGS_SHARED_DATA_DIR) + "/loghub/HDFS_2k.log";
    if (!testenv::exists(source)) GTEST_SKIP() << "no sample data";
    testenv::writeFile(dir_.file("HDFS_2k.log"), testenv::readFile(source));
    // Its entries start with a digit but carry no month/day field: reading stops cleanly.
    EXPECT_EQ(byTime("HDFS_2k.log", 1, 0), "");
    EXPECT_FALSE(ok_);
}

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
class GeneratedDay : public ::testing::Test {
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
    testenv::TempDir dir_{"ls-day"};
    std::string path_, text_;
};

TEST_F(GeneratedDay, WindowOffsetsHoldTheWindow) {
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

TEST_F(GeneratedDay, JobFilterWithWindowKeepsEveryJobLineOfTheWindow) {
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

}  // namespace
