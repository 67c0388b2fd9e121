// Whatever a step throws, and whatever the requester does, the host process survives and
// the request tears down.
#include <gtest/gtest.h>
#include <signal.h>

#include <stdexcept>

#include "collector/RequestRunner.h"
#include "collector/infoNLogsCollector.h"
#include "support/RequestHarness.h"

namespace {

using harness::Installation;

template <void (*Steps)(infoNLogsCollector&)>
harness::Reply runGuarded(std::string& supportDir) {
    harness::Reply reply;
    CTeSocket libraryEnd, requesterEnd;
    EXPECT_FALSE(CTeSocket::createPair(libraryEnd, requesterEnd).IsError());
    {
        CWyNetwork network(libraryEnd);
        infoNLogsCollector collector(&libraryEnd, 0, 0, 0, {}, 0, 0, 0, 0, {}, {}, {}, {}, {}, {},
                                     nullptr, 0, "", &network, nullptr, nullptr, "");
        runCollectorRequest(collector, &network, Steps);
        supportDir = collector.supportDir();
        libraryEnd = CTeSocket();
    }
    harness::MemorySink sink(reply);
    reply.decoded = host::readReplies(requesterEnd.fd(), sink, reply.decodeError);
    return reply;
}

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
    auto reply = runGuarded<initThenThrowRuntimeError>(supportDir);
    ASSERT_FALSE(supportDir.empty());
    EXPECT_FALSE(testenv::exists(supportDir));
    EXPECT_TRUE(reply.hasFailure());
    EXPECT_NE(std::string::npos, inst.log().find("Unexpected exception: disk on fire"));

    reply = runGuarded<initThenThrowInt>(supportDir);
    EXPECT_FALSE(testenv::exists(supportDir));
    EXPECT_TRUE(reply.hasFailure());
    EXPECT_NE(std::string::npos, inst.log().find("Unexpected exception of unknown type"));
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
