// Whatever a step throws, and whatever the requester does, the host process survives and
// the request tears down.
#include <gtest/gtest.h>
#include <signal.h>

#include <stdexcept>

#include "collector/infoNLogsCollector.h"
#include "support/RequestHarness.h"

namespace {

using harness::Installation;

void initThenThrowRuntimeError(infoNLogsCollector& c) {
    c.init();
    throw std::runtime_error("disk on fire");
}

void initThenThrowInt(infoNLogsCollector& c) {
    c.init();
    throw 42;
}

TEST(RequestGuard, ForeignExceptionsAreCaughtLoggedReportedAndTornDown) {
    Installation inst;
    std::string supportDir;
    auto reply = harness::runSteps({}, initThenThrowRuntimeError, &supportDir);
    ASSERT_FALSE(supportDir.empty());
    EXPECT_FALSE(testenv::exists(supportDir));
    EXPECT_TRUE(reply.hasFailure());
    EXPECT_TRUE(testenv::contains(inst.log(), "Unexpected exception: disk on fire"));

    reply = harness::runSteps({}, initThenThrowInt, &supportDir);
    EXPECT_FALSE(testenv::exists(supportDir));
    EXPECT_TRUE(reply.hasFailure());
    EXPECT_TRUE(testenv::contains(inst.log(), "Unexpected exception of unknown type"));
}

TEST(RequestGuard, RequesterHangingUpDoesNotKillTheProcess) {
    Installation inst;
    // The default disposition: a write to the closed peer would end this test process.
    signal(SIGPIPE, SIG_DFL);
    CTeSocket libraryEnd, requesterEnd;
    ASSERT_FALSE(CTeSocket::createPair(libraryEnd, requesterEnd).IsError());
    requesterEnd = CTeSocket();
    CWyNetwork network(libraryEnd);
    gatherInfoNLogs(libraryEnd, 0, 0, 5, {}, 0, 0, OPT_FILTER_BY_JOB, 0, {}, {}, {}, {}, {}, {},
                    "host1", 0, "", &network, nullptr, nullptr, "");
    EXPECT_TRUE(libraryEnd.broken());
    EXPECT_TRUE(Installation::stagingDirs(inst.jobResultsDir).empty());
}

TEST(RequestGuard, GatherAndSendESXLogsLeavesItsArgumentsAlone) {
    std::string a = "a", b = "b", c = "c", d = "d";
    gatherAndSendESXLogs(CTeSocket(), a, b, c, d, nullptr);
    EXPECT_EQ("abcd", a + b + c + d);
}

}  // namespace
