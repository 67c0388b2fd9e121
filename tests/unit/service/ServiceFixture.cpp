#include "ServiceFixture.h"

#include "common/OptionBits.h"
#include "host/Log.h"
#include "host/Net.h"
#include "host/Tcp.h"
#include "host/Wire.h"
#include "service/RemoteRequest.h"

namespace servicetest {

harness::Sandbox* ServiceTest::installed_ = nullptr;
testpki::Pki* ServiceTest::pki_ = nullptr;

// Before any service thread starts: the environment is read by every request.
void ServiceTest::SetUpTestSuite() {
    installed_ = new harness::Sandbox;
    pki_ = new testpki::Pki;
}

void ServiceTest::TearDownTestSuite() {
    host::resetLogSettings();
    delete pki_;
    delete installed_;
    pki_ = nullptr;
    installed_ = nullptr;
}

void ServiceTest::TearDown() {
    service_.reset();
    EXPECT_EQ(stagingLeft(), std::vector<std::string>());
}

void ServiceTest::start(service::ServiceSettings settings) {
    logStart_ = installed_->log().size();
    settings.listen = {"127.0.0.1", 0};
    settings.tls = pki_->service();
    service_ = std::make_unique<service::Service>(settings);
    std::string error;
    requester_ =
        host::TlsContext::create(host::TlsContext::Role::Requester, pki_->requester(), error);
    ASSERT_TRUE(requester_) << error;
    ASSERT_TRUE(service_->start(error)) << error;
}

service::RequestValues ServiceTest::jobLogRequest(long long job) {
    service::RequestValues v;
    v.jobId = job;
    v.options = OPT_FILTER_BY_JOB;
    v.clientName = "client01";
    return v;
}

Outcome ServiceTest::request(const service::RequestValues& values) {
    Outcome out;
    harness::MemorySink sink(out.reply);
    out.ok = service::runRemoteRequest(endpoint(), requester_, values, {}, sink, out.error);
    return out;
}

std::shared_ptr<host::TlsConnection> ServiceTest::connect(const host::TlsFiles& files,
                                                          std::string& error, int idleMs) {
    auto tls = host::TlsContext::create(host::TlsContext::Role::Requester, files, error);
    if (!tls) return nullptr;
    const int fd = host::connectTcp(endpoint(), 5000, error);
    if (fd < 0) return nullptr;
    auto connection = std::make_shared<host::TlsConnection>(tls, fd, idleMs);
    return connection->connect("127.0.0.1", error) ? connection : nullptr;
}

Outcome ServiceTest::exchange(const std::string& bytes) {
    Outcome out;
    auto connection = connect(pki_->requester(), out.error);
    return connection ? send(connection, bytes) : out;
}

Outcome ServiceTest::send(const std::shared_ptr<host::TlsConnection>& connection,
                          const std::string& bytes) {
    Outcome out;
    connection->writeAll(bytes.data(), bytes.size());
    harness::MemorySink sink(out.reply);
    out.ok = host::readReplies(
        [&](void* b, size_t n, std::string& why) { return connection->read(b, n, why); }, sink,
        out.error);
    return out;
}

void ServiceTest::waitFor(const std::function<bool(const service::ServiceStats&)>& ready) {
    ASSERT_TRUE(service_->waitUntil(ready, std::chrono::seconds(10)))
        << "started " << service_->stats().started << ", closed " << service_->stats().closed;
}

std::vector<std::string> ServiceTest::stagingLeft() {
    std::vector<std::string> left = harness::Installation::stagingDirs(root() + "/jobResults");
    for (const std::string& name : harness::Installation::stagingDirs(root())) left.push_back(name);
    return left;
}

std::string ServiceTest::libraryLog() const {
    return installed_->log().substr(logStart_);
}

std::string frameOf(const std::string& record) {
    std::string frame(1, static_cast<char>(service::kRequestFrame));
    host::wire::putU32(frame, static_cast<uint32_t>(record.size()));
    return frame + record;
}

}  // namespace servicetest
