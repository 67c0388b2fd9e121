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

// Entry lines of one process, thread and job, on one day of this year unless told.
std::string at(const char* date, const char* time, const std::string& message = "text") {
    return entry("10001", "1", date, time, "1", "[A:0]", message);
}

class TimeWindowTest : public ::testing::TestWithParam<const char*> {
  protected:
    void write(const std::string& lines, int year = lstest::thisYear()) {
        testenv::writeFile(dir_.file("x.log"), lstest::header(year) + lines);
    }
    std::string byTime(time_t from, time_t to) {
        lstest::Dump dump;
        ok_ = getLogFilesByTime(dump.file(), dir_.path(), "x.log", from, to, "m1", "", false,
                                nullptr, nullptr);
        return dump.text();
    }
    static std::string taken(const std::string& lines) {
        return lstest::banner("m1", "x.log") + lines;
    }
    lstest::ScopedZone zone_{GetParam()};
    testenv::TempDir dir_{"ls-time"};
    const int y_ = lstest::thisYear();
    bool ok_ = false;
};

TEST_P(TimeWindowTest, WindowIsWidenedToWholeMinutes) {
    const std::string a = at("03/10", "10:14:59"), b = at("03/10", "10:15:00"),
                      c = at("03/10", "10:20:59"), d = at("03/10", "10:21:00");
    write(a + b + c + d);
    EXPECT_EQ(byTime(localTime(y_, 3, 10, 10, 15, 42), localTime(y_, 3, 10, 10, 20, 5)),
              taken(b + c));
    EXPECT_TRUE(ok_);
    // Only an upper bound: everything up to the end of its minute.
    EXPECT_EQ(byTime(0, localTime(y_, 3, 10, 10, 20, 5)), taken(a + b + c));
}

TEST_P(TimeWindowTest, YearComesFromTheHeaderAndGrowsAtNewYear) {
    const std::string dec = at("12/30", "23:00:00"), jan = at("01/02", "08:00:00");
    write(dec + jan, 2025);
    EXPECT_EQ(byTime(localTime(2026, 1, 1, 0, 0, 0), localTime(2026, 1, 3, 0, 0, 0)), taken(jan));
    EXPECT_EQ(byTime(localTime(2025, 12, 30, 0, 0, 0), localTime(2025, 12, 31, 0, 0, 0)),
              taken(dec));
}

TEST_P(TimeWindowTest, ContinuationLinesFollowTheirEntry) {
    const std::string in = at("03/10", "10:00:00") + "\tmore of it\n";
    const std::string out = at("03/10", "11:00:00") + "  not this\n";
    const std::string seven = "10001 1 03/10 10:00:01 1 a b\ncontinued\n";
    write(in + out + seven);
    EXPECT_EQ(byTime(localTime(y_, 3, 10, 9, 0, 0), localTime(y_, 3, 10, 10, 30, 0)), taken(in));
}

// A bad time stops the reading, keeping the lines before it; a long line is written whole.
TEST_P(TimeWindowTest, BadTimeStopsAndLongLinesAreWrittenWhole) {
    const std::string a = at("03/10", "10:00:00", std::string(40000, 'z'));
    write(a + at("1x/05", "10:00:01") + at("03/10", "10:00:02"));
    EXPECT_EQ(byTime(localTime(y_, 3, 10, 9, 0, 0), 0), taken(a));
    EXPECT_FALSE(ok_);
}

// Daylight-saving time follows each line's own date, not the reader's.
TEST_P(TimeWindowTest, EachLineKeepsItsOwnDaylightSavingTime) {
    const std::string winter = at("01/15", "12:00:10"), summer = at("07/15", "12:00:10");
    write(winter + summer);
    EXPECT_EQ(byTime(localTime(y_, 1, 15, 12, 0, 0), localTime(y_, 1, 15, 12, 0, 59)),
              taken(winter));
    EXPECT_EQ(byTime(localTime(y_, 7, 15, 12, 0, 0), localTime(y_, 7, 15, 12, 0, 59)),
              taken(summer));
}

// The repeated autumn hour is one instant for lines and window, whatever was converted before.
TEST_P(TimeWindowTest, RepeatedHourIsReadAsItsFirstOccurrence) {
    const std::string early = at("10/25", "02:30:10", "early"), late = at("10/25", "02:30:20");
    write(early + late, 2026);
    const time_t from = common::localTimeToEpoch(2026, 10, 25, 2, 30, 0);
    for (int month : {1, 7, 11}) {
        lstest::localTime(2026, month, 1, 12, 0, 0);  // a conversion of either kind before
        EXPECT_EQ(from, common::localTimeToEpoch(2026, 10, 25, 2, 30, 0));
        EXPECT_EQ(byTime(from, from + 59), taken(early + late));
    }
    if (std::string(GetParam()) == "Europe/Berlin") {
        EXPECT_EQ(from, 1792888200);  // 00:30 UTC: still summer time
        bool exists = true;
        common::localTimeToEpoch(2026, 3, 29, 2, 30, 0, &exists);
        EXPECT_FALSE(exists) << "the skipped hour does not exist";
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, TimeWindowTest, kZones);

using Offsets = std::pair<long long, long long>;

Offsets offsets(const std::string& path, time_t from, time_t to) {
    long long start = -1, end = -1;
    findFileOffsets(path.c_str(), from, to, start, end);
    return {start, end};
}

// No window, or one over the file's whole life: no limits; a file of another year: all of it.
TEST(FindFileOffsets, NoLimitsOrTheWholeFile) {
    testenv::TempDir dir("ls-off");
    EXPECT_EQ(Offsets(0, 0), offsets(dir.file("absent"), 0, 0));
    testenv::writeFile(dir.file("x.log"), "anything\n");
    EXPECT_EQ(Offsets(0, 0), offsets(dir.file("x.log"), 1, time(nullptr) + 3600));
    std::string text = lstest::header(lstest::thisYear() - 1);
    for (int i = 0; i < 50; ++i) text += at("12/31", "10:00:00");
    testenv::writeFile(dir.file("old.log"), text);
    EXPECT_EQ(Offsets(0, text.size()), offsets(dir.file("old.log"), 1000, 2000));
}

// An entry exactly at the window's start belongs to it, also when a probe lands on it.
TEST(FindFileOffsets, EntryExactlyAtTheStartIsInside) {
    testenv::TempDir dir("ls-off");
    const int y = lstest::thisYear();
    std::string text = lstest::header(y);
    for (int i = 0; i < 64; ++i) {
        char time[32];
        snprintf(time, sizeof time, "%02d:%02d:00", 10 + i / 60, i % 60);
        text += at("03/10", time);
    }
    testenv::writeFile(dir.file("x.log"), text);
    // The first probe reads the entry that follows the middle of the file.
    const size_t probed = text.find('\n', text.size() / 2) + 1;
    int hour = 0, minute = 0;
    ASSERT_EQ(2, sscanf(text.c_str() + probed, "%*s %*s %*s %d:%d", &hour, &minute));
    const time_t from = localTime(y, 3, 10, hour, minute, 0);
    const auto [start, end] = offsets(dir.file("x.log"), from, from + 600);
    EXPECT_LE(start, (long long)probed);
    EXPECT_GT(end, (long long)probed);
}

// On a generated day the bisection keeps every window line in range, from a line boundary.
class GeneratedDay : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        tooling::LogGenOptions options;
        options.seed = 3;
        options.onlyFile = "wyd.log";
        options.targetBytes = 8 << 20;
        options.start = localTime(lstest::thisYear(), 1, 1, 0, 0, 0);
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
        const auto [start, end] = offsets(path_, from, to);
        ASSERT_GE(start, 0);
        ASSERT_GT(end, start);
        EXPECT_TRUE(start == 0 || text_[start - 1] == '\n') << start;
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
    const time_t from = localTime(lstest::thisYear(), 1, 1, 12, 0, 0), to = from + 600;
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
