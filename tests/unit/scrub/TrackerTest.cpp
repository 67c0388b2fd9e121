// The masked-range tracker: overlap and separator boundaries, and random replacements against
// a plain map-based tracker, under which ranges stay disjoint and ordered.
#include <gtest/gtest.h>

#include <random>

#include "ReferenceScrubber.h"
#include "scrub/PatternPositionTracker.h"

namespace {

using Range = PatternPositionTracker::Range;

TEST(Tracker, OverlapIsHalfOpen) {
    EXPECT_TRUE(PatternPositionTracker::_checkOverlap(3, 2, {4, 3}));
    EXPECT_FALSE(PatternPositionTracker::_checkOverlap(1, 3, {4, 3}));  // touches
    EXPECT_FALSE(PatternPositionTracker::_checkOverlap(7, 1, {4, 3}));  // touches
    EXPECT_TRUE(PatternPositionTracker::_checkOverlap(3, 3, {5, 0}));   // an empty range inside
}

TEST(Tracker, SeparatorsNextToRanges) {
    PatternPositionTracker t;
    t.insertPatternPosition(0, 2, 11);   // [0, 11)
    t.insertPatternPosition(15, 2, 11);  // [15, 26)
    bool start = false, end = false;
    t.checkSeperator(11, 4, start, end);
    EXPECT_TRUE(start);
    EXPECT_TRUE(end);
    start = end = false;
    t.checkSeperator(10, 5, start, end);  // overlaps the first range: no flag at all
    EXPECT_FALSE(start);
    EXPECT_FALSE(end);
    EXPECT_TRUE(t.checkOverlap(10, 5));
    EXPECT_FALSE(t.checkOverlap(11, 4));
}

void expectDisjointAndOrdered(const std::vector<Range>& ranges) {
    for (size_t i = 0; i + 1 < ranges.size(); ++i) {
        ASSERT_LT(ranges[i].first, ranges[i + 1].first);
        ASSERT_LE(ranges[i].first + ranges[i].second, ranges[i + 1].first);
    }
    for (const Range& r : ranges) ASSERT_GE(r.second, 0);
}

// Replacements as the scrubber makes them: literal ones outside masked text (which never
// overlap a range), regex ones anywhere on the line, names of any length (0 with no map).
TEST(Tracker, RandomReplacementsKeepRangesDisjointAndOrdered) {
    std::mt19937 rng(4242);
    auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int trial = 0; trial < 3000; ++trial) {
        PatternPositionTracker tracker;
        reference::Tracker plain;
        int lineLength = 20 + below(60);
        for (int step = 0; step < 12; ++step) {
            const int n = 1 + below(8);
            const int p = below(lineLength);
            const int m = below(4) == 0 ? 0 : 1 + below(12);
            const bool literal = below(2) == 0;
            if (literal && tracker.checkOverlap(p, n)) continue;
            tracker.insertPatternPosition(p, n, m);
            plain.insert(p, n, m);
            lineLength += m - n;
            if (lineLength < 1) lineLength = 1;
            ASSERT_NO_FATAL_FAILURE(expectDisjointAndOrdered(tracker.ranges()));
            ASSERT_EQ(std::vector<Range>(plain.ranges().begin(), plain.ranges().end()),
                      tracker.ranges())
                << "trial " << trial << " step " << step;
        }
    }
}

}  // namespace
