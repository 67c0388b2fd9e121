// The job-log step, and concurrent requests for one remote client downloading apart.
#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "collector/infoNLogsCollector.h"
#include "host/FileHandle.h"
#include "host/Process.h"
#include "host/RemoteClients.h"
#include "support/LogFixtures.h"
#include "support/RequestHarness.h"

namespace {

using harness::Installation;

// Files left in the staging directory right after the common step.
std::vector<std::string> leftAfterStep;

void initThenCommonStep(infoNLogsCollector& c) {
    c.init();
    c.collectCommonLogs();
    leftAfterStep = testenv::folderEntries(c.supportDir());
}

harness::Reply runJobLogStep() {
    harness::Request request;
    request.jobId = 4711;
    request.options = OPT_FILTER_BY_JOB;
    request.clientName = "client01";
    return harness::runSteps(request, initThenCommonStep);
}

class JobLogStep : public ::testing::Test {
  protected:
    void SetUp() override {
        line_ = lstest::entry("10001", "1", "07/14", "09:00:00", "4711");
        testenv::writeFile(inst_.logDir + "/wyd.log", lstest::header(lstest::thisYear()) + line_);
    }
    void TearDown() override { host::io::clearFaults(); }
    Installation inst_;
    std::string line_;
};

// An unreadable selected log is reported after the job log, which holds what could be read.
TEST_F(JobLogStep, JobLogIsStreamedWholeThenDeletedAndAnUnreadableLogReported) {
    for (bool unreadable : {false, true}) {
        if (unreadable) testenv::writeFile(inst_.logDir + "/wyd_2.log.bz2", "no bzip2 data\n");
        harness::Reply reply = runJobLogStep();
        ASSERT_TRUE(reply.decoded) << reply.decodeError;
        EXPECT_EQ(reply.hasFailure(), unreadable);
        ASSERT_EQ(1u, reply.files.size());
        EXPECT_TRUE(reply.files[0].complete());
        EXPECT_EQ(lstest::banner("client01", "wyd.log") + line_, reply.contents.begin()->second);
        EXPECT_TRUE(leftAfterStep.empty()) << leftAfterStep.front();
    }
}

TEST_F(JobLogStep, JobLogThatCannotBeWrittenIsNeverSent) {
    host::io::injectWriteFault(ENOSPC);
    harness::Reply reply = runJobLogStep();
    ASSERT_TRUE(reply.decoded) << reply.decodeError;
    EXPECT_TRUE(reply.hasFailure());
    EXPECT_TRUE(reply.files.empty());
    EXPECT_TRUE(testenv::contains(inst_.log(), "Failed to write the job log file"));
    EXPECT_TRUE(Installation::stagingDirs(inst_.jobResultsDir).empty());
}

// A remote client whose service answers every request with a tar of one folder.
class FolderBundleConnector : public host::RemoteClientConnector {
  public:
    explicit FolderBundleConnector(std::string folder) : folder_(std::move(folder)) {}
    std::unique_ptr<host::RemoteClientLink> connect(const host::RemoteClientTarget&,
                                                    std::string&) override {
        struct Link : host::RemoteClientLink {
            std::string folder;
            CTeError fetchLogBundle(const std::string& bundle, std::string& prefix) override {
                prefix.clear();
                std::string err;
                const std::string command = "tar -cf " + host::shellQuote(bundle) + " -C " +
                                            host::shellQuote(folder) + " .";
                return WyProcess::system(command.c_str(), nullptr, &err, 60) == 0
                           ? CTeError()
                           : CTeError(EIO, err, SL_CODE_LOCATION);
            }
            CTeError createFolder(const std::string&) override { return CTeError(); }
        };
        auto link = std::make_unique<Link>();
        link->folder = folder_;
        return link;
    }

  private:
    std::string folder_;
};

// Two requests started in one second download apart: the first to end cannot take the other's.
TEST(ProxyDownload, EveryRequestGetsItsOwnFolder) {
    Installation inst;
    const std::string remote = inst.registry.makeDir("remote7");
    testenv::writeFile(remote + "/wyd.log", "remote\n");
    inst.registry.setNumber("Clients/7", "nOsId", 49);
    inst.registry.setString("Clients/7", "sServiceAddress", "127.0.0.1:9");
    const auto installed = host::remoteClientConnector();
    host::setRemoteClientConnector(std::make_shared<FolderBundleConnector>(remote));
    CTeSocket a, b;
    ASSERT_FALSE(CTeSocket::createPair(a, b).IsError());
    CWyNetwork network(a);
    infoNLogsCollector first(&a, 0, 7, 0, {}, 0, 0, OPT_PRODUCT_LOGS, 0, {}, {}, {}, {}, {}, {},
                             "remote7", 0, "", &network, nullptr, nullptr, ""),
        second(&a, 0, 7, 0, {}, 0, 0, OPT_PRODUCT_LOGS, 0, {}, {}, {}, {}, {}, {}, "remote7", 0, "",
               &network, nullptr, nullptr, "");
    // Started at once on two threads (the staging folder's name carries the thread).
    std::mutex lock;
    std::condition_variable changed;
    int done = 0;
    auto init = [&](infoNLogsCollector& c) {
        c.init();
        std::unique_lock<std::mutex> guard(lock);
        ++done;
        changed.notify_all();
        changed.wait(guard, [&] { return done == 2; });
    };
    std::thread one(init, std::ref(first)), two(init, std::ref(second));
    one.join();
    two.join();
    ASSERT_FALSE(first.proxyFolderName().empty());
    EXPECT_NE(first.proxyFolderName(), second.proxyFolderName());
    first.uninitialize();
    EXPECT_EQ("remote\n",
              testenv::readFile(inst.logDir + "/" + second.proxyFolderName() + "/wyd.log"));
    second.uninitialize();
    host::setRemoteClientConnector(installed);
}

}  // namespace
