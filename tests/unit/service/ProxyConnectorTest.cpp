// The remote-client proxy through this layer's connector (downloads: the program's test).
#include <unistd.h>

#include <chrono>

#include "ServiceFixture.h"
#include "host/Jobs.h"
#include "host/Registry.h"
#include "host/Tcp.h"
#include "service/ProxyConnector.h"

namespace servicetest {
namespace {

// A sandbox of its own, whose registry the test may change; the connector is restored after.
class ProxyConnectorTest : public ServiceTest {
  protected:
    void SetUp() override { service::installProxyConnector(); }
    void TearDown() override {
        host::setRemoteClientConnector(previous_);
        ServiceTest::TearDown();
    }
    static void set(const std::string& key, const std::string& name, const std::string& value) {
        ASSERT_TRUE(host::setRegString(host::currentInstance(), key, name, value));
    }
    std::shared_ptr<host::RemoteClientConnector> previous_ = host::remoteClientConnector();
};

// A client whose queue is full is given up at the connect limit, not waited for forever.
TEST_F(ProxyConnectorTest, SilentClientIsGivenUpAtTheConnectLimit) {
    std::string error;
    const int listener = host::listenTcp({"127.0.0.1", 0}, 0, error);
    ASSERT_GE(listener, 0) << error;
    const int queued = host::connectTcp({"127.0.0.1", host::localPort(listener)}, 5000, error);
    ASSERT_GE(queued, 0) << error;
    set("Clients/7", "sServiceAddress", "127.0.0.1:" + std::to_string(host::localPort(listener)));
    set("RemoteClients", "sCAFile", pki_->requester().ca);
    set("RemoteClients", "sCertFile", pki_->requester().cert);
    set("RemoteClients", "sKeyFile", pki_->requester().key);
    set("RemoteClients", "nConnectTimeout", "1");
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProxyServices::instanceForClient(1, 7, 0, false, true));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    ::close(queued);
    ::close(listener);
}

}  // namespace
}  // namespace servicetest
