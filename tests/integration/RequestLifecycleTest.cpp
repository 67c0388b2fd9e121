// A request through the entry: start-up records, staging directory, start-up failures.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>

#include "collector/infoNLogsCollector.h"
#include "support/RequestHarness.h"

namespace {

using harness::Installation;
using harness::Request;

uint32_t timeValue(const host::ReplyRecord& record) {
    uint32_t wire = 0;
    EXPECT_EQ(4u, record.fields.at(0).second.size());
    memcpy(&wire, record.fields.at(0).second.data(), 4);
    return ntohl(wire);
}

TEST(RequestLifecycle, SendsVersionAndTimeThenTearsDown) {
    Installation inst;
    time_t before = time(nullptr);
    auto reply = harness::run(Request{});  // bundle mode with nothing to bundle
    ASSERT_TRUE(reply.decoded) << reply.decodeError;

    const host::ReplyRecord* version = reply.find(REPLY_VERSION_CODE);
    ASSERT_NE(nullptr, version);
    ASSERT_EQ(1u, version->fields.size());
    EXPECT_EQ(REPLY_VERSION_TAG, version->fields[0].first);
    EXPECT_EQ(std::string(4, '\0') + "11.32.4", version->fields[0].second);
    EXPECT_EQ(0, version->status);

    const host::ReplyRecord* clock = reply.find(REPLY_TIME_CODE);
    ASSERT_NE(nullptr, clock);
    EXPECT_EQ(REPLY_TIME_TAG, clock->fields[0].first);
    EXPECT_GE(timeValue(*clock), static_cast<uint32_t>(before));

    std::string log = inst.log();
    EXPECT_TRUE(testenv::contains(log, "Created supportDir[" + inst.jobResultsDir + "/Support_"));
    EXPECT_TRUE(
        testenv::contains(log, "Exception: unix log bundle name is empty, so skip collection"));
    EXPECT_TRUE(Installation::stagingDirs(inst.jobResultsDir).empty());
    EXPECT_TRUE(reply.files.empty());
}

// No job results directory: staged beside the log directory; an over-long version sent empty.
TEST(RequestLifecycle, StagesUnderTheLogDirectoryParentWithoutJobResults) {
    Installation inst(false);
    inst.registry.setString("Base", "sProductVersion", std::string(200, 'v'));
    auto reply = harness::run(Request{});
    EXPECT_EQ(std::string(4, '\0'), reply.find(REPLY_VERSION_CODE)->fields.at(0).second);
    std::string parent = inst.logDir.substr(0, inst.logDir.rfind('/'));
    EXPECT_TRUE(testenv::contains(inst.log(), "Created supportDir[" + parent + "/Support_"));
    EXPECT_TRUE(Installation::stagingDirs(parent).empty());
}

// No log directory to stage under, or one whose parent cannot hold the staging directory.
TEST(RequestLifecycle, StagingDirectoryFailuresEndWithAFailureRecord) {
    Installation inst(false);
    inst.registry.setString("EventManager", "dEVLOGDIR", "");
    EXPECT_TRUE(harness::run(Request{}).hasFailure());
    EXPECT_TRUE(
        testenv::contains(inst.log(), "Exception: Failed to generate the staging directory path"));
    inst.registry.setString("EventManager", "dEVLOGDIR",
                            inst.registry.dir().file("gone/Log_Files"));
    EXPECT_TRUE(harness::run(Request{}).hasFailure());
    EXPECT_TRUE(testenv::contains(inst.log(), "Exception: strSupportDir is invalid"));
}

TEST(RequestLifecycle, ScrubbingWithoutPatternsStopsAfterStartUpAndCleansUp) {
    Installation inst;
    Request request;
    request.options = OPT_SCRUB_LOGS | OPT_PRODUCT_LOGS;
    auto reply = harness::run(request);
    std::string log = inst.log();
    EXPECT_TRUE(testenv::contains(
        log, "Scrub logs option is enabled but scrub patterns file is not received."));
    EXPECT_TRUE(testenv::contains(log, "Exception: scrubPatternsFilePath is invalid"));
    EXPECT_FALSE(testenv::contains(log, "unix log bundle name is empty"));
    EXPECT_TRUE(Installation::stagingDirs(inst.jobResultsDir).empty());
}

}  // namespace
