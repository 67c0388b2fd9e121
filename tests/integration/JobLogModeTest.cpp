// Job-log mode end to end: the streamed job log checked against the extractor's dump.
#include <gtest/gtest.h>

#include "collector/infoNLogsCollector.h"
#include "logselect/FilteredLogFiles.h"
#include "support/LogFixtures.h"
#include "support/RequestHarness.h"
#include "tooling/Sandbox.h"

namespace {

using tooling::SandboxFacts;

TEST(JobLogMode, JobLogHoldsTheJobsLinesThenItsRmanOutput) {
    harness::Sandbox sandbox({}, 2 << 20);
    harness::Request request;
    request.clientId = SandboxFacts::kLocalClientId;
    request.clientName = SandboxFacts::kPhysicalMachine;
    request.jobId = SandboxFacts::kBackupJob;
    request.options = OPT_FILTER_BY_JOB | OPT_ORACLE_BACKUP;
    const harness::Reply reply = harness::run(request);
    ASSERT_TRUE(reply.decoded) << reply.decodeError;
    EXPECT_FALSE(reply.hasFailure());
    ASSERT_EQ(reply.files.size(), 1u);
    EXPECT_TRUE(reply.files[0].complete());
    EXPECT_EQ(reply.files[0].name.rfind(std::to_string(SandboxFacts::kBackupJob) + "_", 0), 0u);
    const std::string log = reply.contents.at(reply.files[0].name);

    lstest::Dump dump;
    getFilteredLogFiles(dump.file(), tooling::sandboxLogDir(sandbox.root).c_str(),
                        SandboxFacts::kBackupJob, {}, 0, 0, "client01", "", "", 0, nullptr, false,
                        nullptr, nullptr);
    const std::string expected = dump.text();
    ASSERT_GT(expected.size(), 10000u);
    EXPECT_TRUE(testenv::contains(expected, "File    : wyd_3.log.bz2"));
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(log.substr(0, expected.size()), expected);
    const std::string rman = log.substr(expected.size());
    const std::string output =
        testenv::readFile(sandbox.root + "/jobResults/WY_JobResults/2/0/" +
                          std::to_string(SandboxFacts::kBackupJob) + "/backup.out");
    EXPECT_EQ(rman.rfind(lstest::banner("client01", "backup.out") + output, 0), 0u)
        << rman.substr(0, 300);
    EXPECT_FALSE(testenv::contains(sandbox.log(), " ERROR ")) << sandbox.log();
}

}  // namespace
