// TLS on loopback: server names, and failures a peer causes (records: the service tests).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>

#include "host/Net.h"
#include "host/Tcp.h"
#include "host/Tls.h"
#include "support/TestEnv.h"
#include "support/TestPki.h"

namespace {

using Role = host::TlsContext::Role;

// Both ends of one TLS session over loopback TCP, handshakes done.
struct Session {
    std::shared_ptr<host::TlsConnection> service, requester;
};

class TlsTest : public testenv::QuietLogTest {
  protected:
    // Connects a requester; false with both sides' reasons when a handshake fails.
    bool open(Session& s, const std::string& serverName, int idleMs, std::string& error) {
        std::string why;
        const int listener = host::listenTcp({"127.0.0.1", 0}, 4, why);
        EXPECT_GE(listener, 0) << why;
        const host::Endpoint at{"127.0.0.1", host::localPort(listener)};
        auto accepted = std::async(std::launch::async, [&] {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            s.service = std::make_shared<host::TlsConnection>(serviceContext_, fd, idleMs);
            std::string reason;
            return s.service->accept(reason) ? std::string() : reason;
        });
        const int fd = host::connectTcp(at, 5000, why);
        EXPECT_GE(fd, 0) << why;
        s.requester = std::make_shared<host::TlsConnection>(requesterContext_, fd, idleMs);
        const bool connected = s.requester->connect(serverName, error);
        const std::string serviceError = accepted.get();
        ::close(listener);
        if (!connected || !serviceError.empty()) error += " / service: " + serviceError;
        return connected && serviceError.empty();
    }

    testpki::Pki pki_;
    std::shared_ptr<host::TlsContext> serviceContext_ = pki_.context(Role::Service, pki_.service());
    std::shared_ptr<host::TlsContext> requesterContext_ =
        pki_.context(Role::Requester, pki_.requester());
};

TEST_F(TlsTest, RequesterRefusesAServiceCertificateForAnotherName) {
    Session s;
    std::string error;
    EXPECT_FALSE(open(s, "files.example.test", 5000, error));
    EXPECT_TRUE(testenv::contains(error, "certificate refused")) << error;
    Session byAddress;
    EXPECT_TRUE(open(byAddress, "127.0.0.1", 5000, error)) << error;
}

TEST_F(TlsTest, APeerThatStopsReadingIsGivenUpAfterTheIdleLimit) {
    Session s;
    std::string error;
    ASSERT_TRUE(open(s, "localhost", 200, error)) << error;
    const std::string block(256 * 1024, 'x');
    CTeError failed;
    // The socket buffers fill within a few MiB; the write after that waits the idle limit.
    for (int i = 0; i < 4096 && !failed.IsError(); ++i)
        failed = s.service->writeAll(block.data(), block.size());
    EXPECT_TRUE(testenv::contains(failed.AsString(), "idle limit")) << failed.AsString();
}

TEST_F(TlsTest, AStreamEndsCleanlyOnlyWithTheServicesTlsClose) {
    char buffer[16];
    for (bool tlsClose : {true, false}) {
        Session s;
        std::string error;
        ASSERT_TRUE(open(s, "localhost", 5000, error)) << error;
        ASSERT_FALSE(s.service->writeAll("hello", 5).IsError());
        if (tlsClose) {
            s.service->close(0);
        } else {
            ::shutdown(s.service->fd(), SHUT_RDWR);  // cut short below TLS
        }
        EXPECT_EQ(s.requester->read(buffer, sizeof buffer, error), 5);
        EXPECT_EQ(s.requester->read(buffer, sizeof buffer, error), tlsClose ? 0 : -1) << tlsClose;
        if (!tlsClose) {
            EXPECT_TRUE(testenv::contains(error, "without a TLS close")) << error;
        }
    }
}

}  // namespace
