// The host's remote-client proxy through this layer's connector, against a service on
// loopback that serves the fixture's sandbox: what a download brings, a folder made on the
// client, and a client that does not answer in time.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "ServiceFixture.h"
#include "host/Jobs.h"
#include "host/Registry.h"
#include "host/Tcp.h"
#include "service/ProxyConnector.h"

namespace fs = std::filesystem;

namespace servicetest {
namespace {

const unsigned long kClient = 7;

class ProxyConnectorTest : public ServiceTest {
  protected:
    void SetUp() override {
        previous_ = host::remoteClientConnector();
        service::installProxyConnector();
        set("RemoteClients", "sCAFile", pki_->requester().ca);
        set("RemoteClients", "sCertFile", pki_->requester().cert);
        set("RemoteClients", "sKeyFile", pki_->requester().key);
    }
    void TearDown() override {
        fs::remove(host::registryKeyPath(host::currentInstance(), "Clients/7") +
                   "/sServiceAddress");
        fs::remove_all(host::registryKeyPath(host::currentInstance(), "RemoteClients"));
        host::setRemoteClientConnector(previous_);
        ServiceTest::TearDown();
    }
    static void set(const std::string& key, const std::string& name, const std::string& value) {
        ASSERT_TRUE(host::setRegString(host::currentInstance(), key, name, value));
    }
    void pointAt(uint16_t port) {
        set("Clients/7", "sServiceAddress", "127.0.0.1:" + std::to_string(port));
    }
    boost::shared_ptr<ProxyServices> proxy() {
        return ProxyServices::instanceForClient(1, kClient, 0, false, true);
    }

    std::shared_ptr<host::RemoteClientConnector> previous_;
};

// Regular files below dir, by relative path.
std::vector<std::string> filesBelow(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) names.push_back(fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(ProxyConnectorTest, DownloadBringsTheClientsLogsAndJobResults) {
    start();
    pointAt(service().port());
    auto handle = proxy();
    ASSERT_TRUE(handle);
    const std::string local = scratch_->file("Log_Files/proxyClient/A1");
    fs::create_directories(local);
    const CTeError error = handle->downloadLogFiles(local, 0);
    ASSERT_FALSE(error.IsError()) << error.AsString();

    // The log directory at the top (without its locks), the job results below "jobResults",
    // the client's diagnostics bundle beside them, and nothing else.
    std::vector<std::string> expected;
    for (const std::string& name : filesBelow(sandbox_ + "/Log_Files"))
        if (name.rfind("locks/", 0) != 0) expected.push_back(name);
    for (const std::string& name : filesBelow(sandbox_ + "/jobResults/WY_JobResults"))
        expected.push_back("jobResults/WY_JobResults/" + name);
    expected.push_back("WyDiagnostics.7z");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesBelow(local), expected);
    EXPECT_EQ(testenv::readFile(local + "/wyd.log"),
              testenv::readFile(sandbox_ + "/Log_Files/wyd.log"));
    EXPECT_EQ(testenv::readFile(local + "/jobResults/WY_JobResults/2/0/1001/backup.out"),
              testenv::readFile(sandbox_ + "/jobResults/WY_JobResults/2/0/1001/backup.out"));
    std::vector<fs::path> beside;
    for (const auto& e : fs::directory_iterator(scratch_->file("Log_Files/proxyClient")))
        beside.push_back(e.path());
    EXPECT_EQ(beside, std::vector<fs::path>{fs::path(local)}) << "nothing is left beside it";
    EXPECT_TRUE(libraryLog().find("proxy download, bundle request: client 0") != std::string::npos)
        << libraryLog();

    // The handle's connection carried that request; the next one gets a new connection.
    const std::string made = scratch_->file("made by proxy");
    EXPECT_FALSE(handle->createNewFolder(made).IsError());
    EXPECT_TRUE(fs::is_directory(made));
    const CTeError again = handle->createNewFolder(made);
    EXPECT_TRUE(again.IsError());
    EXPECT_TRUE(testenv::contains(again.AsString(), "File exists")) << again.AsString();
    fs::remove_all(scratch_->file("Log_Files"));
}

// A client whose service accepts no connection (its queue is full) is given up at the connect
// limit, never waited for without end.
TEST_F(ProxyConnectorTest, SilentClientIsGivenUpAtTheConnectLimit) {
    std::string error;
    const int listener = host::listenTcp({"127.0.0.1", 0}, 0, error);
    ASSERT_GE(listener, 0) << error;
    const int queued = host::connectTcp({"127.0.0.1", host::localPort(listener)}, 5000, error);
    ASSERT_GE(queued, 0) << error;
    pointAt(host::localPort(listener));
    set("RemoteClients", "nConnectTimeout", "1");
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(proxy());
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    ::close(queued);
    ::close(listener);
}

}  // namespace
}  // namespace servicetest
