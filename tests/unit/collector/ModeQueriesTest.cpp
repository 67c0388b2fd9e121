// Which mode a request runs in and which kinds of material it wants.
#include <gtest/gtest.h>

#include "collector/infoNLogsCollector.h"

namespace {

struct ModeCase {
    const char* name;
    unsigned long options;
    long long jobId;
    long long tagId;
    const char* search;
    bool filtered, productLogs, jobResults;
};

class ModeQueries : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeQueries, FollowTheOptionBits) {
    const ModeCase& c = GetParam();
    CTeSocket socket;
    infoNLogsCollector collector(&socket, 0, 0, c.jobId, {}, 0, 0, c.options, 0, {}, {}, {}, {}, {},
                                 {}, nullptr, c.tagId, c.search, nullptr, nullptr, nullptr, "");
    EXPECT_EQ(c.filtered, collector.needFilteredLog());
    EXPECT_EQ(c.productLogs, collector.isOrvionLogsSet());
    EXPECT_EQ(c.jobResults, collector.isJobResultsSet());
}

const unsigned long kJob = OPT_FILTER_BY_JOB, kDirect = OPT_DIRECT_RESULTS, kScrub = OPT_SCRUB_LOGS,
                    kResults = OPT_JOB_RESULTS;

INSTANTIATE_TEST_SUITE_P(
    Local, ModeQueries,
    ::testing::Values(
        ModeCase{"JobWithFilterBit", kJob, 5, 0, "", true, false, false},
        ModeCase{"DirectResultsTurnsJobModeOff", kJob | kDirect, 5, 0, "", false, true, false},
        ModeCase{"TagKeepsJobModeDespiteDirect", kJob | kDirect, 5, 1, "", true, false, false},
        ModeCase{"SearchTextSelectsJobMode", kJob | kDirect, 5, 0, "error", true, false, false},
        ModeCase{"JobZeroIsBundleMode", kJob, 0, 0, "", false, true, false},
        ModeCase{"NegativeTagIsIgnored", 0, 0, -3, "", false, true, false},
        // Without the product-logs bit a local bundle request still wants product logs.
        ModeCase{"NoBitsStillWantsProductLogs", 0, 0, 0, "", false, true, false},
        ModeCase{"ScrubTurnsProductLogsOff", kScrub, 0, 0, "", false, false, false},
        ModeCase{"JobResultsInBundleMode", kResults, 0, 0, "", false, true, true},
        ModeCase{"JobResultsNotWhenScrubbing", kResults | kScrub, 0, 0, "", false, false, false},
        ModeCase{"JobResultsNotInJobMode", kResults | kJob, 9, 0, "", true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
