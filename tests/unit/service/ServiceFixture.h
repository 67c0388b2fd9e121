// A sandbox, test certificates and a running service on loopback, and ways to talk to it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/Tls.h"
#include "service/RequestRecord.h"
#include "service/Service.h"
#include "support/DescriptorLeakCheck.h"
#include "support/RequestHarness.h"
#include "support/TestEnv.h"
#include "support/TestPki.h"

namespace servicetest {

struct Outcome {
    bool ok = false;
    std::string error;
    harness::Reply reply;
};

class ServiceTest : public ::testing::Test {
  public:
    static service::RequestValues jobLogRequest(long long job);

  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void TearDown() override;

    // Starts the service with these settings (listen address and certificates filled in).
    void start(service::ServiceSettings settings = {});
    service::Service& service() { return *service_; }
    host::Endpoint endpoint() const { return {"127.0.0.1", service_->port()}; }

    Outcome request(const service::RequestValues& values);
    // A TLS session with the service, handshake done (empty when it failed: error says why).
    std::shared_ptr<host::TlsConnection> connect(const host::TlsFiles& files, std::string& error,
                                                 int idleMs = 10000);
    // Sends bytes over the session, or a fresh one, and reads the replies to the end.
    Outcome send(const std::shared_ptr<host::TlsConnection>& connection, const std::string& bytes);
    Outcome exchange(const std::string& bytes);
    // Waits (10 s at most) for the service's counters to reach a state.
    void waitFor(const std::function<bool(const service::ServiceStats&)>& ready);

    // Staging folders left in the sandbox (job results and the log directory's parent).
    static std::vector<std::string> stagingLeft();
    std::string libraryLog() const;  // since start()
    static const std::string& root() { return installed_->root; }

    static harness::Sandbox* installed_;
    static testpki::Pki* pki_;
    std::unique_ptr<service::Service> service_;
    std::shared_ptr<host::TlsContext> requester_;  // shared by the requests of a test
    size_t logStart_ = 0;
};

std::string frameOf(const std::string& record);

}  // namespace servicetest
