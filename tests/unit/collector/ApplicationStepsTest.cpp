// Each application step's condition and what it adds, on sandboxes switched into its case.
#include "StepFixture.h"
#include "host/Registry.h"
#include "support/ScrubTestRules.h"

namespace {

using steptest::StepRequest;
using tartest::has;

class ApplicationSteps : public steptest::StepTest {};

TEST_F(ApplicationSteps, CassandraAddsEachListedFileButNotToAScrubbedBundle) {
    testenv::writeFile(path("apps/cass.yaml"), "cluster_name: c1\n");
    StepRequest request;
    request.cassandraFiles = ";" + path("apps/cass.yaml") + ";;" + path("apps/missing.yaml");
    auto result = run(&infoNLogsCollector::collectCassandraLogs, request);
    EXPECT_EQ(tartest::endingWith(result.members, ".yaml").size(), 1u);
    EXPECT_TRUE(has(result.members, "apps/cass.yaml"));
    EXPECT_TRUE(testenv::contains(log(), "missing.yaml] can't be opened or doesn't exist"));

    request.options = 0x40000000;
    EXPECT_TRUE(run(&infoNLogsCollector::collectCassandraLogs, request).members.empty());
}

TEST_F(ApplicationSteps, SybaseAddsCertificatesAndEachInstancesServerLogs) {
    EXPECT_FALSE(has(run(&infoNLogsCollector::collectSybaseLog, {}).members, ".log"));
    EXPECT_TRUE(testenv::contains(log(), "No Sybase instances found."));

    enable("sybase");
    // The certificates and SYB1.log themselves are checked by a whole diagnostics request.
    const auto members = run(&infoNLogsCollector::collectSybaseLog, {}).members;
    EXPECT_FALSE(has(members, "client_key.pem"));
    EXPECT_TRUE(has(members, "apps/sybase/ASE-16_0/install/SYB1_BS.log"));
    EXPECT_FALSE(has(members, "RUN_SYB1"));
}

TEST_F(ApplicationSteps, MediaAgentAddsLibraryDatabaseAndStoreStatusOfEveryGroup) {
    enable("media-agent");
    const auto members = run(&infoNLogsCollector::collectMAlogs, {}).members;
    for (const char* group : {"Group1", "Group2"}) {
        const std::string folder = std::string("apps/ddb/store 2/") + group;
        EXPECT_TRUE(has(members, folder + "/CTSTATUS.FCS")) << folder;
        EXPECT_TRUE(has(members, folder + "/ctsrvr.cfg")) << folder;
    }
    EXPECT_FALSE(has(members, "index.dat"));

    // Not a media agent: nothing.
    ASSERT_TRUE(host::setRegNumber("Instance001", "Base", "nPlatformType", 0));
    EXPECT_TRUE(run(&infoNLogsCollector::collectMAlogs, {}).members.empty());
}

TEST_F(ApplicationSteps, NoOscConfigurationIsLoggedAndAddsNothing) {
    EXPECT_TRUE(run(&infoNLogsCollector::collectOSCLogs, {}).members.empty());
    EXPECT_TRUE(
        testenv::contains(log(), "osc_config.xml] for client [client01] can't be accessed"));
}

TEST_F(ApplicationSteps, FailoverArchivesTheOtherInstancesLogsOnlyOnThePassiveNode) {
    EXPECT_TRUE(run(&infoNLogsCollector::collectFailOverLogs, {}).members.empty());
    enable("failover");
    const auto result = run(&infoNLogsCollector::collectFailOverLogs, {});
    EXPECT_TRUE(
        has(result.members,
            "/FailOver_" + std::to_string(static_cast<long long>(result.startTime)) + ".7z"))
        << (result.members.empty() ? "" : result.members[0]);

    ASSERT_TRUE(host::setRegNumber("Instance002", "Base", "bIsHMInstanceActive", 1));
    EXPECT_TRUE(run(&infoNLogsCollector::collectFailOverLogs, {}).members.empty());
}

TEST_F(ApplicationSteps, ApplianceLogsOnlyWhenAskedOnAnApplianceMediaAgent) {
    enable("appliance");
    StepRequest request;
    request.clientId = tooling::SandboxFacts::kLocalClientId;  // knows the install folder
    EXPECT_TRUE(run(&infoNLogsCollector::collectTessaro, request).members.empty());
    request.extraOptions = 0x1;
    const auto members = run(&infoNLogsCollector::collectTessaro, request).members;
    EXPECT_TRUE(has(members, "sandbox.tar"));
    EXPECT_TRUE(has(members, "/hardware_events.log"));
}

}  // namespace
