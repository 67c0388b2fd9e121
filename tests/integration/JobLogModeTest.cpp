// Job-log mode end to end: a request through gatherInfoNLogs against a sandbox installation,
// the streamed job log received with the reply decoder and checked against the extractor.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "collector/infoNLogsCollector.h"
#include "host/Log.h"
#include "host/Net.h"
#include "logselect/FilteredLogFiles.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"
#include "tooling/Sandbox.h"

namespace {

using tooling::SandboxFacts;

struct Received : host::ReplySink {
    std::vector<host::ReplyRecord> records;
    std::vector<host::StreamedFileInfo> files;
    std::map<std::string, std::string> contents;
    std::string current;
    void onRecord(const host::ReplyRecord& record) override { records.push_back(record); }
    bool onFileBegin(const std::string& name, uint64_t) override {
        current = name;
        contents[name].clear();
        return true;
    }
    bool onFileData(const char* data, size_t size) override {
        contents[current].append(data, size);
        return true;
    }
    void onFileEnd(const host::StreamedFileInfo& info) override { files.push_back(info); }
};

struct JobRequest {
    unsigned clientId = SandboxFacts::kLocalClientId;
    long long jobId = 0;
    unsigned long options = 0;
    const char* clientName = SandboxFacts::kPhysicalMachine;
    long long tagId = 0;
};

class JobLogModeTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        sandbox_ = new testenv::TempDir("ls-sandbox");
        tooling::SandboxOptions options;
        options.logBytes = 2 << 20;
        std::string error;
        ASSERT_TRUE(tooling::createSandbox(sandbox_->path() + "/sb", options, error)) << error;
    }
    static void TearDownTestSuite() {
        delete sandbox_;
        sandbox_ = nullptr;
    }
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(tooling::useSandbox(root(), scratch_.file("library.log"), error)) << error;
        logDir_ = tooling::sandboxLogDir(root());
    }
    void TearDown() override { host::resetLogSettings(); }
    static std::string root() { return sandbox_->path() + "/sb"; }

    Received run(const JobRequest& r) {
        Received received;
        CTeSocket libraryEnd, requesterEnd;
        EXPECT_FALSE(CTeSocket::createPair(libraryEnd, requesterEnd).IsError());
        std::thread worker([socket = std::move(libraryEnd), r]() mutable {
            CWyNetwork network(socket);
            gatherInfoNLogs(socket, 0, r.clientId, r.jobId, {}, 0, 0, r.options, 0, {}, {}, {}, {},
                            {}, {}, r.clientName, r.tagId, "", &network, nullptr, nullptr, "");
            socket = CTeSocket();
        });
        std::string error;
        EXPECT_TRUE(host::readReplies(requesterEnd.fd(), received, error)) << error;
        worker.join();
        return received;
    }
    std::string extractDirectly(long long job, long long tag, const char* machine) {
        lstest::Dump dump;
        getFilteredLogFiles(dump.file(), logDir_.c_str(), job, {}, 0, 0, machine, "", "", tag,
                            nullptr, false, nullptr, nullptr);
        return dump.text();
    }
    // The one streamed file, which must have arrived whole.
    static std::string onlyFile(const Received& received, const std::string& prefix) {
        EXPECT_EQ(received.files.size(), 1u);
        if (received.files.size() != 1) return "";
        const host::StreamedFileInfo& info = received.files.front();
        EXPECT_TRUE(info.complete()) << info.name;
        EXPECT_EQ(info.name.rfind(prefix, 0), 0u) << info.name;
        return received.contents.at(info.name);
    }

    static testenv::TempDir* sandbox_;
    testenv::TempDir scratch_{"ls-joblog"};
    testenv::ScopedEnv registryRoot_{"ORVION_REGISTRY_ROOT", ""};
    testenv::ScopedEnv instance_{"ORVION_INSTANCE", ""};
    testenv::ScopedEnv logFile_{"SENDLOGS_LOG_FILE", ""};
    std::string logDir_;
};

testenv::TempDir* JobLogModeTest::sandbox_ = nullptr;

TEST_F(JobLogModeTest, JobLogHoldsTheJobsLinesThenItsRmanOutput) {
    JobRequest request;
    request.jobId = SandboxFacts::kBackupJob;
    request.options = OPT_FILTER_BY_JOB | OPT_ORACLE_BACKUP;
    Received received = run(request);
    for (const host::ReplyRecord& record : received.records) EXPECT_EQ(record.status, 0);
    std::string log = onlyFile(received, std::to_string(SandboxFacts::kBackupJob) + "_");

    std::string expected = extractDirectly(SandboxFacts::kBackupJob, 0, "client01");
    ASSERT_GT(expected.size(), 10000u);
    EXPECT_NE(expected.find("File    : wyd_3.log.bz2"), std::string::npos);
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(log.substr(0, expected.size()), expected);
    std::string rman = log.substr(expected.size());
    std::string output =
        testenv::readFile(root() + "/jobResults/WY_JobResults/2/0/" +
                          std::to_string(SandboxFacts::kBackupJob) + "/backup.out");
    EXPECT_EQ(rman.rfind(lstest::banner("client01", "backup.out") + output, 0), 0u)
        << rman.substr(0, 300);
}

}  // namespace
