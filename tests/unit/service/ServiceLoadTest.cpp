// A service under load, and requesters that hang up, stall or stay silent; limits and stop.
#include <sys/socket.h>
#include <unistd.h>

#include <future>

#include "ServiceFixture.h"
#include "host/Tcp.h"
#include "support/LogFixtures.h"

namespace servicetest {
namespace {

std::string onlyFileOf(const Outcome& out) {
    EXPECT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.reply.files.size(), 1u);
    if (out.reply.files.size() != 1) return "";
    EXPECT_TRUE(out.reply.files[0].complete());
    return out.reply.contents.at(out.reply.files[0].name);
}

// A requester that has shaken hands and sent part of a record header, then waits.
std::shared_ptr<host::TlsConnection> stalled(std::shared_ptr<host::TlsConnection> c) {
    EXPECT_TRUE(c);
    if (c) c->writeAll("\x20\0\0", 3);
    return c;
}

// First, so that both sides verify their first certificates on many threads at once.
TEST_F(ServiceTest, ConcurrentRequestsMatchTheSameRequestsOneAtATime) {
    service::ServiceSettings settings;
    settings.maxConcurrent = 8;
    settings.maxWaiting = 32;
    start(settings);
    const std::vector<long long> jobs = {1001, 1002, 1003, 1004};
    std::vector<std::future<Outcome>> together;
    for (int i = 0; i < 32; ++i) {
        const long long job = jobs[i % jobs.size()];
        together.push_back(
            std::async(std::launch::async, [this, job] { return request(jobLogRequest(job)); }));
    }
    std::vector<std::string> received;
    for (auto& outcome : together) received.push_back(onlyFileOf(outcome.get()));
    for (size_t i = 0; i < jobs.size(); ++i) {
        const std::string alone = onlyFileOf(request(jobLogRequest(jobs[i])));
        EXPECT_GT(alone.size(), 1000u) << jobs[i];
        for (size_t k = i; k < received.size(); k += jobs.size())
            EXPECT_EQ(received[k], alone) << "request " << k;
    }
    waitFor([](const service::ServiceStats& s) { return s.finished == 36 && s.closed == 36; });
}

TEST_F(ServiceTest, RequesterThatHangsUpMidStreamLeavesNoStagingFolder) {
    // Larger than loopback buffers, so the service is still writing when the reset comes.
    const std::string bigLog = root() + "/Log_Files/HangUp.log";
    struct Remove {
        std::string path;
        ~Remove() { ::unlink(path.c_str()); }
    } removeLater{bigLog};
    std::string lines = lstest::header(lstest::thisYear());
    const std::string line =
        lstest::entry("4242", "1", "07/14", "09:00:00", "7001", "[A:0]", std::string(200, 'x'));
    while (lines.size() < (32u << 20)) lines += line;
    testenv::writeFile(bigLog, lines);

    start();
    std::string error;
    auto connection = connect(pki_->requester(), error);
    ASSERT_TRUE(connection) << error;
    std::string frame;
    ASSERT_TRUE(service::encodeRequestFrame(jobLogRequest(7001), frame, error));
    ASSERT_FALSE(connection->writeAll(frame.data(), frame.size()).IsError());
    // The first reply bytes come from start-up; the job log follows after its extraction.
    char first[16];
    ASSERT_GT(connection->read(first, sizeof first, error), 0) << error;
    const linger reset = {1, 0};
    ::setsockopt(connection->fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    connection.reset();  // the kernel answers the service's next write with a reset

    waitFor([](const service::ServiceStats& s) { return s.finished == 1 && s.closed == 1; });
    EXPECT_TRUE(testenv::contains(libraryLog(), "connection lost"));
    // The fixture's tear-down checks that no staging folder is left.
}

TEST_F(ServiceTest, SlowRequestersHoldOneWorkerEachAndTheQueueHasItsLimit) {
    service::ServiceSettings settings;
    settings.maxConcurrent = 2;
    settings.maxWaiting = 1;
    start(settings);
    std::string error;
    auto slow = stalled(connect(pki_->requester(), error));
    waitFor([](const service::ServiceStats& s) { return s.busyWorkers == 1; });
    EXPECT_TRUE(request(jobLogRequest(1001)).ok) << "the second worker serves others";

    auto slower = stalled(connect(pki_->requester(), error));
    waitFor([](const service::ServiceStats& s) { return s.busyWorkers == 2; });
    auto queued = std::async(std::launch::async, [this] { return request(jobLogRequest(1002)); });
    waitFor([](const service::ServiceStats& s) { return s.waiting == 1; });
    // Beyond the waiting limit a connection is closed at once.
    const int third = host::connectTcp(endpoint(), 5000, error);
    waitFor([](const service::ServiceStats& s) { return s.turnedAway == 1; });
    char byte;
    EXPECT_EQ(::recv(third, &byte, 1, 0), 0) << "closed at once";
    ::close(third);
    slow.reset();  // frees a worker: the waiting request goes ahead
    EXPECT_FALSE(onlyFileOf(queued.get()).empty());
    slower.reset();
    waitFor([](const service::ServiceStats& s) { return s.closed == 5; });
    EXPECT_EQ(service().stats().rejected, 2u);
}

// Silent: dropped at the idle limit; stalled inside its record: cut at the request limit.
TEST_F(ServiceTest, SilentAndStalledRequestersAreDroppedAtTheirLimits) {
    for (bool idle : {true, false}) {
        service::ServiceSettings settings;
        (idle ? settings.idleTimeLimit : settings.requestTimeLimit) =
            std::chrono::milliseconds(200);
        start(settings);
        std::string error;
        auto requester = connect(pki_->requester(), error);
        ASSERT_TRUE(requester) << error;
        if (!idle) stalled(requester);
        char buffer[16];
        EXPECT_LE(requester->read(buffer, sizeof buffer, error), 0);  // ended by the service
        waitFor([idle](const service::ServiceStats& s) {
            return (idle ? s.rejected : s.cut) == 1 && s.closed == 1;
        });
        EXPECT_TRUE(
            testenv::contains(libraryLog(), idle ? "(idle limit)" : "(cut: request time limit)"));
    }
}

TEST_F(ServiceTest, StopCutsConnectionsThatHaveNoRequestYet) {
    service::ServiceSettings settings;
    settings.shutdownGrace = std::chrono::seconds(60);
    start(settings);
    std::string error;
    auto slow = stalled(connect(pki_->requester(), error));
    waitFor([](const service::ServiceStats& s) { return s.busyWorkers == 1; });
    const auto before = std::chrono::steady_clock::now();
    service().stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
    EXPECT_EQ(service().stats().cut, 1u);
    EXPECT_TRUE(testenv::contains(libraryLog(), "(cut: service stopping)"));
    // A stopped service takes no more connections.
    EXPECT_LT(host::connectTcp(endpoint(), 5000, error), 0);
}

}  // namespace
}  // namespace servicetest
