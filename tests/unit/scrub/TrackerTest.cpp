// The masked-range tracker against a plain map-based tracker on random replacements.
#include <gtest/gtest.h>

#include <random>

#include "ReferenceScrubber.h"
#include "scrub/PatternPositionTracker.h"

namespace {

using Range = PatternPositionTracker::Range;

void expectDisjointAndOrdered(const std::vector<Range>& ranges) {
    for (size_t i = 0; i + 1 < ranges.size(); ++i) {
        ASSERT_LT(ranges[i].first, ranges[i + 1].first);
        ASSERT_LE(ranges[i].first + ranges[i].second, ranges[i + 1].first);
    }
    for (const Range& r : ranges) ASSERT_GE(r.second, 0);
}

// Literal replacements outside masked text, regex ones anywhere, names of any length.
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
