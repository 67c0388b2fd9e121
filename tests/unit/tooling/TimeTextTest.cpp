// Time forms read against a fixed "now" in a DST zone, and texts refused rather than guessed.
#include <gtest/gtest.h>

#include <ctime>

#include "support/LogFixtures.h"
#include "tooling/TimeText.h"

namespace {

class TimeTextTest : public ::testing::Test {
    lstest::ScopedZone zone_{"Europe/Berlin"};
};

constexpr time_t kNow = 1706706000;  // 2024-01-31 14:00:00 in Berlin (13:00 UTC)

TEST_F(TimeTextTest, ReadsEveryFormItDocuments) {
    const struct {
        const char* text;
        time_t expected;
    } cases[] = {
        {"1700000000", 1700000000},
        {"2024-01-31", 1706655600},        // local midnight
        {"2024-01-31 13:45", 1706705100},  // local
        {"2024-01-31 13:45:10", 1706705110},
        {"2024-07-01 12:00:00", 1719828000},   // summer: UTC+2
        {"2026-10-25 02:30:00", 1792888200},   // the repeated hour: its first occurrence
        {"2024-01-31T13:45:10Z", 1706708710},  // ISO 8601 in UTC
        {"2024-01-31T13:45:10.250+01:00", 1706705110},
        {"2024-01-31T13:45-0500", 1706726700},
        {"2024-01-31T13:45", 1706705100},  // no zone: local
        {"now", kNow},
        {"today", 1706655600},
        {"yesterday", 1706569200},
        {"-2h", kNow - 7200},
        {"-30m", kNow - 1800},
        {"+1d", kNow + 86400},
        {"-1w", kNow - 7 * 86400},
    };
    for (const auto& c : cases) {
        time_t out = 0;
        std::string error;
        EXPECT_TRUE(tooling::parseTimeText(c.text, kNow, out, error)) << c.text << ": " << error;
        EXPECT_EQ(out, c.expected) << c.text;
    }
}

TEST_F(TimeTextTest, RefusesTimesThatDoNotExistOrDoNotParse) {
    for (const char* text : {"2023-02-30", "2024-03-31 02:30:00", "2024-01-31 25:00",
                             "2024-01-31T10:00+25:00", "2024-1-31", "2024-01-31 10", "2024-01-31X",
                             "-2y", "-h", "- 2h", "", "tomorrow", "1234567890123456789"}) {
        time_t out = 0;
        std::string error;
        EXPECT_FALSE(tooling::parseTimeText(text, kNow, out, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

}  // namespace
