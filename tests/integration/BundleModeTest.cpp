// Bundle mode end to end: requests against a sandbox, the received bundle opened and checked.
#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <thread>

#include "collector/infoNLogsCollector.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "scrub/PatternFile.h"
#include "support/BundleScan.h"
#include "support/DescriptorLeakCheck.h"
#include "support/RequestHarness.h"
#include "tooling/Sandbox.h"

using tooling::SandboxFacts;

namespace {

using bundlescan::find;

class BundleModeTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        sandbox_ = new harness::Sandbox({}, 1 << 20);
        const std::string data = SENDLOGS_SHARED_DATA_DIR "/loghub";  // third-party logs
        ASSERT_TRUE(!testenv::exists(data) ||
                    testenv::runShell("cp '" + data + "'/*.log '" + tooling::sandboxLogDir(root()) +
                                      "'/") == 0);
    }
    static void TearDownTestSuite() {
        delete sandbox_;
        sandbox_ = nullptr;
    }
    void SetUp() override { logStart_ = sandbox_->log().size(); }
    void TearDown() override {
        host::io::clearFaults();
        // Nothing of a request outlives it.
        const std::pair<const char*, const char*> leftovers[] = {
            {"/jobResults", "Support_"}, {"/base/Temp", "bundles_"}, {"", "exclude_"}};
        for (const auto& [dir, prefix] : leftovers)
            for (const std::string& name : testenv::folderEntries(root() + dir))
                EXPECT_NE(0u, name.rfind(prefix, 0)) << dir << "/" << name;
        for (const std::string& name : testenv::folderEntries(root() + "/jobResults"))
            EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(name[0])))
                << "scrub folder left: " << name;
    }
    static std::string root() { return sandbox_->root; }

    harness::Request request(unsigned long options) {
        harness::Request r;
        r.clientId = SandboxFacts::kLocalClientId;
        r.clientName = SandboxFacts::kPhysicalMachine;
        r.options = options;
        return r;
    }
    // The bundle among the streamed files, opened; its reply name in replyName.
    std::vector<bundlescan::Member> openBundle(const harness::Reply& reply,
                                               std::string& replyName) {
        const host::ReplyRecord* name = reply.find(REPLY_BUNDLE_NAME_CODE);
        EXPECT_NE(nullptr, name);
        if (name != nullptr) replyName = name->fields.at(0).second;
        std::vector<bundlescan::Member> members;
        for (const host::StreamedFileInfo& file : reply.files) {
            if (file.name.rfind("logFiles_", 0) != 0) continue;
            EXPECT_TRUE(file.complete()) << file.name;
            const std::string path = local_.file(file.name);
            testenv::writeFile(path, reply.contents.at(file.name));
            std::string error;
            EXPECT_TRUE(bundlescan::readMembers(path, members, error)) << error;
        }
        return members;
    }

    static harness::Sandbox* sandbox_;
    testenv::TempDir local_{"ls-bundle-run"};
    size_t logStart_ = 0;
};
harness::Sandbox* BundleModeTest::sandbox_ = nullptr;

TEST_F(BundleModeTest, BundleHoldsLogsRegistryFirewallJobResultsAndDiagnostics) {
    harness::Reply reply = harness::run(request(OPT_PRODUCT_LOGS | OPT_JOB_RESULTS));
    ASSERT_TRUE(reply.decoded) << reply.decodeError;
    ASSERT_EQ(1u, reply.files.size());
    EXPECT_EQ(".gz", reply.files[0].name.substr(reply.files[0].name.size() - 3));
    std::string replyName;
    auto members = openBundle(reply, replyName);
    EXPECT_EQ("client01_logs.tar.gz", replyName);

    for (const char* log : {"./wyd.log", "./wyd_1.log", "./wyd_3.log.bz2", "./JobManager.log"})
        EXPECT_NE(nullptr, find(members, log)) << log;
    EXPECT_NE(nullptr, find(members, "wyd_3.log.bz2!data"));
    for (const auto& m : members) EXPECT_FALSE(testenv::contains(m.name, "locks")) << m.name;
    const std::string rel = root().substr(1);
    EXPECT_NE(nullptr, find(members, rel + "/registry/SOFTWARE/Kestrav Systems/Orvion/Instance001/"
                                           "Base/sPhysicalMachine"));
    EXPECT_NE(nullptr, find(members, rel + "/base/FwConfig.txt"));
    EXPECT_NE(nullptr, find(members, rel + "/jobResults/WY_JobResults/2/0/1001/backup.out"));
    EXPECT_NE(nullptr, find(members, "./WyDiagnostics.7z"));
    if (testenv::haveProgram("7zz") || testenv::haveProgram("7z") || testenv::haveProgram("7za")) {
        const bundlescan::Member* report = find(members, "./WyDiagnostics.7z!diagnostics.txt");
        ASSERT_NE(nullptr, report);
        EXPECT_TRUE(testenv::contains(report->content, "Instance: Instance001\nClient id: 2\n"));
    }
    EXPECT_TRUE(bundlescan::findValues(members, {SandboxFacts::kPrivateKeyMarker}).empty());
    // Only the optional OSC configuration is missing.
    for (const std::string& line : testenv::splitLines(sandbox_->log().substr(logStart_)))
        EXPECT_TRUE(!testenv::contains(line, " ERROR ") || testenv::contains(line, "OSC")) << line;
}

TEST_F(BundleModeTest, AdditionalFolderAndOracleResultsJoinTheBundleOrTravelAlone) {
    const std::string extra = local_.mkdir("extra logs");
    testenv::writeFile(extra + "/app.log", "additional folder line\n");
    harness::Request r = request(OPT_JOB_RESULTS | OPT_ORACLE_BACKUP);
    r.jobId = 1004;  // has no result file yet: the job results service makes it
    const std::string sap = local_.mkdir("saparch");
    testenv::writeFile(sap + "/arch1.log", "archived\n");
    testenv::writeFile(sap + "/PRD.dbf", "datafile\n");
    // A name that climbs out of the staging directory is skipped.
    r.additionalFolders = {std::string("APPLOGS\x12\x12") + extra, "SAPARCH_PRD\x12" + sap,
                           "../escaped\x12" + extra};
    harness::Reply reply = harness::run(r);
    std::string replyName;
    auto members = openBundle(reply, replyName);
    const bundlescan::Member* folder = find(members, "app.log");
    ASSERT_NE(nullptr, folder);
    EXPECT_EQ(0u, folder->name.rfind("APPLOGS.tar!", 0)) << folder->name;
    EXPECT_NE(nullptr, find(members, "SAPARCH_PRD.tar!" + sap.substr(1) + "/arch1.log"));
    EXPECT_EQ(nullptr, find(members, "PRD.dbf"));
    EXPECT_FALSE(testenv::exists(root() + "/jobResults/escaped.tar"));
    const bundlescan::Member* result = find(members, "/1004/backup.out");
    ASSERT_NE(nullptr, result);
    EXPECT_TRUE(testenv::contains(result->content, "Recovery Manager report of job 1004"));

    // Direct results: the restore report is streamed on its own, unchanged.
    r = request(OPT_JOB_RESULTS | OPT_ORACLE_RESTORE | OPT_DIRECT_RESULTS);
    r.jobId = SandboxFacts::kRestoreJob;
    reply = harness::run(r);
    ASSERT_EQ(2u, reply.files.size());
    EXPECT_EQ("restore.out", reply.files[0].name);
    const std::string resultFile = root() + "/jobResults/WY_JobResults/2/0/1003/restore.out";
    EXPECT_EQ(testenv::readFile(resultFile), reply.contents.at("restore.out"));
    EXPECT_TRUE(testenv::exists(resultFile));
    r.options &= ~OPT_ORACLE_RESTORE;  // no Oracle option, no Oracle report
    EXPECT_EQ(1u, harness::run(r).files.size());
}

TEST_F(BundleModeTest, FailedCompressionHandsOffTheUncompressedTar) {
    host::io::injectWriteFault(ENOSPC);  // the compressor's first write
    harness::Reply reply = harness::run(request(OPT_JOB_RESULTS));
    ASSERT_EQ(1u, reply.files.size());
    EXPECT_EQ(".tar", reply.files[0].name.substr(reply.files[0].name.size() - 4));
    std::string replyName;
    auto members = openBundle(reply, replyName);
    EXPECT_EQ("client01_logs.tar", replyName);
    EXPECT_NE(nullptr, find(members, "/1001/backup.out"));
}

TEST_F(BundleModeTest, ScrubbedBundleHoldsNoMaskedValueInAnyMember) {
    if (!testenv::haveProgram("python3"))
        GTEST_SKIP() << "the diagnostics stand-in masks with python3";
    const std::vector<std::string> values = {
        "client01", "hubmaster01.example.test", "backupadmin", "combo", "labsz", "hinet",
        "webmaster"};
    const std::string patterns = local_.file("patterns.txt");
    std::string text;
    for (const std::string& v : values) text += v + "\n";
    text += "\\b[0-9]{1,3}(\\.[0-9]{1,3}){3}\\b&#*#&##isregexmagic##.\n";
    testenv::writeFile(patterns, text);
    harness::Request r = request(OPT_PRODUCT_LOGS | OPT_JOB_RESULTS | OPT_SCRUB_LOGS);
    ASSERT_EQ(0, populateScrubPatternsFromFile(patterns, r.scrubRules, r.replacements));
    r.scrubPatternsFilePath = patterns.c_str();
    harness::Reply reply = harness::run(r);
    std::string replyName;
    auto members = openBundle(reply, replyName);

    for (const char* name : {"./wyd.log", "./wyd_3.log", "./OpenSSH_2k.log", "./FwConfig.txt",
                             "./registry/SOFTWARE/Kestrav Systems/Orvion/Instance001/Base/"
                             "sPhysicalMachine",
                             "./WyDiagnostics.7z"})
        EXPECT_NE(nullptr, find(members, name)) << name;
    EXPECT_EQ(nullptr, find(members, "backup.out")) << "job results cannot be scrubbed";
    const auto leaks = bundlescan::findValues(members, values);
    EXPECT_TRUE(leaks.empty()) << leaks.size() << " leaks, first: " << leaks.front();
    const boost::regex ipv4("\\b[0-9]{1,3}(\\.[0-9]{1,3}){3}\\b");
    for (const auto& m : members) EXPECT_FALSE(boost::regex_search(m.content, ipv4)) << m.name;
    // The diagnostics tool was given the patterns file and masked with it.
    const bundlescan::Member* report = find(members, "diagnostics.txt");
    EXPECT_TRUE(report == nullptr || testenv::contains(report->content, "MaskedData"));
}

// Stops reading at the bundle's first byte and hangs up.
struct HangUp : harness::MemorySink {
    using harness::MemorySink::MemorySink;
    bool onFileBegin(const std::string&, uint64_t) override { return false; }
};

TEST_F(BundleModeTest, RequesterHangingUpMidStreamLeavesNothingBehind) {
    harness::Reply reply;
    CTeSocket libraryEnd, requesterEnd;
    ASSERT_FALSE(CTeSocket::createPair(libraryEnd, requesterEnd).IsError());
    const harness::Request r = request(OPT_PRODUCT_LOGS | OPT_JOB_RESULTS);
    std::thread worker([socket = std::move(libraryEnd), r]() mutable {
        CWyNetwork network(socket);
        gatherInfoNLogs(socket, 0, r.clientId, 0, {}, 0, 0, r.options, 0, {}, {}, {}, {}, {}, {},
                        r.clientName, 0, "", &network, nullptr, nullptr, "");
        socket = CTeSocket();
    });
    HangUp sink(reply);
    std::string error;
    EXPECT_FALSE(host::readReplies(requesterEnd.fd(), sink, error));
    requesterEnd = CTeSocket();
    worker.join();
    EXPECT_TRUE(testenv::contains(sandbox_->log(), "Writing to the requester failed"));
}

}  // namespace
