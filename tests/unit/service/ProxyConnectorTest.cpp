// The host's remote-client proxy through this layer's connector, against a service on
// loopback that serves the fixture's sandbox: a folder made on the client, and a client that
// does not answer in time.
#include <unistd.h>

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

// What a download brings is compared with a direct request by the program's proxy test;
// here, a folder made on the client through the proxy.
TEST_F(ProxyConnectorTest, CreateFolderMakesTheFolderOnTheClient) {
    start();
    pointAt(service().port());
    auto handle = proxy();
    ASSERT_TRUE(handle);
    const std::string made = scratch_->file("made by proxy");
    EXPECT_FALSE(handle->createNewFolder(made).IsError());
    EXPECT_TRUE(fs::is_directory(made));
    const CTeError again = handle->createNewFolder(made);
    EXPECT_TRUE(again.IsError());
    EXPECT_TRUE(testenv::contains(again.AsString(), "File exists")) << again.AsString();
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
