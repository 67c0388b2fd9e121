// Requesters the service must not serve and records it cannot use: refused, service stays up.
#include <sys/socket.h>
#include <unistd.h>

#include "ServiceFixture.h"
#include "host/Process.h"
#include "host/Tcp.h"
#include "host/Wire.h"
#include "service/RemoteRequest.h"

using namespace testenv;

namespace servicetest {
namespace {

// A requester without certificate (openssl s_client) sending frameFile; true if anything came.
bool replyWithoutCertificate(const host::Endpoint& at, const std::string& ca,
                             const std::string& frameFile) {
    return !output("timeout 30 openssl s_client -quiet -connect " + at.text() + " -CAfile " +
                   host::shellQuote(ca) + " <" + host::shellQuote(frameFile) + " 2>/dev/null")
                .empty();
}

std::string validFrame() {
    std::string frame, error;
    EXPECT_TRUE(service::encodeRequestFrame(ServiceTest::jobLogRequest(1001), frame, error));
    return frame;
}

TEST_F(ServiceTest, RequestersWithoutAValidCertificateAreRefusedBeforeTheirRequestIsRead) {
    start();
    const std::string frame = validFrame();
    const struct {
        host::TlsFiles files;
        const char* serviceReason;
    } wrong[] = {
        {pki_->expired(), "certificate has expired"},
        {pki_->foreign(), "unable to get local issuer certificate"},
        {pki_->serviceAsRequester(), "unsuitable certificate purpose"},
    };
    for (const auto& w : wrong) {
        std::string error;
        // Under TLS 1.3 the refusal may arrive after the handshake, instead of a reply.
        if (auto connection = connect(w.files, error)) {
            const Outcome out = send(connection, frame);
            EXPECT_FALSE(out.ok);
            EXPECT_TRUE(out.reply.records.empty());
        }
        // The library's requester reports such a late refusal as a failure too.
        if (auto connection = connect(w.files, error)) {
            harness::Reply reply;
            harness::MemorySink sink(reply);
            EXPECT_FALSE(service::exchangeRequest(*connection, frame, sink, error));
        }
    }
    writeFile(pki_->dir() + "/frame", frame);
    EXPECT_FALSE(replyWithoutCertificate(endpoint(), pki_->service().ca, pki_->dir() + "/frame"));

    std::string error;
    const int plain = host::connectTcp(endpoint(), 5000, error);
    ASSERT_GE(plain, 0) << error;
    ASSERT_EQ(::send(plain, frame.data(), frame.size(), MSG_NOSIGNAL), ssize_t(frame.size()));
    harness::Reply reply;
    harness::MemorySink sink(reply);
    host::readReplies(plain, sink, error);
    ::close(plain);
    EXPECT_TRUE(reply.records.empty());

    waitFor([](const service::ServiceStats& s) { return s.closed == 8; });
    const service::ServiceStats stats = service().stats();
    EXPECT_EQ(stats.refused, 8u);
    EXPECT_EQ(stats.started, 0u);
    EXPECT_EQ(stats.rejected, 0u);
    const std::string log = libraryLog();
    for (const auto& w : wrong) EXPECT_TRUE(contains(log, w.serviceReason)) << w.serviceReason;
    EXPECT_TRUE(contains(log, "peer did not return a certificate"));
}

TEST_F(ServiceTest, MalformedRecordsGetARefusalAndTheServiceStaysUp) {
    service::ServiceSettings settings;
    settings.maxRecordBytes = 64 << 10;
    start(settings);
    std::string header(1, static_cast<char>(service::kRequestFrame));
    host::wire::putU32(header, 100 << 10);
    const struct {
        std::string bytes;
        const char* reason;
    } cases[] = {
        {std::string("\x01\0\0\0\x04", 5) + "abcd", "not a request record (frame type 1)"},
        {header + "just the start", "larger than the limit of 65536"},
        {frameOf("\x07"), "unsupported request record version 7"},  // the decoder's reason
    };
    for (const auto& c : cases) {
        const Outcome out = exchange(c.bytes);
        EXPECT_TRUE(out.ok) << out.error;
        ASSERT_EQ(out.reply.records.size(), 1u) << c.reason;
        const host::ReplyRecord& refusal = out.reply.records[0];
        EXPECT_EQ(refusal.code, service::kRefusedCode);
        EXPECT_EQ(refusal.status, 1);
        ASSERT_EQ(refusal.fields.size(), 1u);
        EXPECT_TRUE(contains(refusal.fields[0].second, c.reason)) << refusal.fields[0].second;
    }
    // A record cut short: the requester ends its side inside the record.
    std::string error;
    auto truncated = connect(pki_->requester(), error);
    ASSERT_TRUE(truncated) << error;
    const std::string frame = validFrame();
    truncated->writeAll(frame.data(), frame.size() / 2);
    truncated->close(0);
    waitFor([](const service::ServiceStats& s) { return s.rejected == 4; });
    EXPECT_TRUE(contains(libraryLog(), "closed the connection inside its request record"));

    const Outcome good = request(jobLogRequest(1001));
    EXPECT_TRUE(good.ok) << good.error;
    EXPECT_EQ(good.reply.files.size(), 1u);
    EXPECT_EQ(service().stats().started, 1u);
}

}  // namespace
}  // namespace servicetest
