// Whatever a step throws, the host process survives and the request tears down.
#include <gtest/gtest.h>

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

}  // namespace
