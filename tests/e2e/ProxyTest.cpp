// The remote-client proxy between two machines: two sandboxes, each served by its own
// "sendlogs serve" on loopback. Sandbox A knows client 7 (operating-system id 49) and client 8
// (118) as remote clients served by B; a request for them on A collects B's logs.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/BundleScan.h"
#include "support/ProgramRun.h"
#include "support/ServeProcess.h"
#include "support/TestEnv.h"
#include "tooling/Sandbox.h"

namespace fs = std::filesystem;
using clitest::ProgramResult;
using clitest::runSendlogs;
using clitest::ServeProcess;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The one file in dir.
std::string onlyFile(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path().string());
    EXPECT_EQ(files.size(), 1u) << dir;
    return files.empty() ? "" : files[0];
}

// A loopback port on which nothing listens.
std::string closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    socklen_t len = sizeof any;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&any), &len);
    ::close(fd);
    return "127.0.0.1:" + std::to_string(ntohs(any.sin_port));
}

// The log files and the job results of a bundle, by the names they have on the machine
// they come from: "./wyd.log" -> "wyd.log", "<prefix>WY_JobResults/x" -> "WY_JobResults/x".
struct Contents {
    std::map<std::string, std::string> logs, jobResults;
    std::vector<std::string> others;
};
Contents contentsOf(const std::string& bundle, const std::string& jobResultsPrefix) {
    std::vector<bundlescan::Member> members;
    std::string error;
    EXPECT_TRUE(bundlescan::readMembers(bundle, members, error)) << error;
    Contents c;
    for (const auto& m : members) {
        if (m.name.back() == '/' || contains(m.name, "!") || contains(m.name, "WyDiagnostics.7z"))
            continue;  // folders, members of members, and the diagnostics tool's own bundle
        if (m.name.rfind(jobResultsPrefix, 0) == 0)
            c.jobResults[m.name.substr(jobResultsPrefix.size())] = m.content;
        else if (m.name.rfind("./", 0) == 0)
            c.logs[m.name.substr(2)] = m.content;
        else
            c.others.push_back(m.name);
    }
    return c;
}

class ProxyTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scratch_ = new testenv::TempDir("cli-proxy");
        for (const char* name : {"a", "b"}) {
            const ProgramResult made =
                runSendlogs({"sandbox", "create", scratch_->file(name), "--size-mb", "1", "--seed",
                             name[0] == 'a' ? "1" : "2"},
                            *scratch_);
            ASSERT_EQ(made.status, 0) << made.err;
        }
        a_ = scratch_->file("a");
        b_ = scratch_->file("b");
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }

    // B's service, trusting A's CA and showing a certificate A's CA signed (one CA for all
    // machines); with ownCa, B trusts only its own CA and refuses A.
    std::unique_ptr<ServeProcess> serveB(bool ownCa = false) {
        const std::string tls = a_ + "/tls/";
        return std::make_unique<ServeProcess>(
            b_, run_.file("b.log"),
            std::vector<std::string>{"--ca", (ownCa ? b_ + "/tls/" : tls) + "ca.pem", "--cert",
                                     tls + "server.pem", "--key", tls + "server.key"});
    }
    // A's registry: clients 7 and 8 are served at address.
    void remoteClientsAt(const std::string& address) {
        const std::string clients = tooling::sandboxRegistryRoot(a_) +
                                    "/SOFTWARE/Kestrav Systems/Orvion/" +
                                    tooling::sandboxInstance(a_) + "/Clients/";
        testenv::writeFile(clients + "7/sServiceAddress", address + "\n");
        testenv::writeFile(clients + "8/nOsId", "118\n");
        testenv::writeFile(clients + "8/sServiceAddress", address + "\n");
    }
    // "sendlogs collect --remote" with A's requester certificate.
    ProgramResult collect(const std::string& at, std::vector<std::string> request,
                          const std::string& out) {
        const std::string tls = a_ + "/tls/";
        std::vector<std::string> args = {"collect",
                                         "--remote",
                                         at,
                                         "--ca",
                                         tls + "ca.pem",
                                         "--cert",
                                         tls + "requester.pem",
                                         "--key",
                                         tls + "requester.key",
                                         "-o",
                                         run_.file(out)};
        args.insert(args.end(), request.begin(), request.end());
        return runSendlogs(args, run_);
    }
    // Nothing of a download is left in A's log directory once its request ended.
    static void expectNoDownloadLeft() {
        const std::string folder = a_ + "/Log_Files/proxyClient";
        EXPECT_TRUE(!fs::exists(folder) || fs::is_empty(folder)) << folder;
    }
    static std::string jobResultsPrefixOf(const std::string& sandbox) {
        return sandbox.substr(1) + "/jobResults/";
    }

    static testenv::TempDir* scratch_;
    static std::string a_, b_;
    testenv::TempDir run_{"cli-proxy-run"};
};
testenv::TempDir* ProxyTest::scratch_ = nullptr;
std::string ProxyTest::a_, ProxyTest::b_;

TEST_F(ProxyTest, ProxyRequestCollectsWhatTheClientItselfSends) {
    auto b = serveB();
    ServeProcess a(a_, run_.file("a.log"));
    remoteClientsAt(b->address());
    const std::vector<std::string> bundle = {"--product-logs", "--job-results"};

    std::vector<std::string> proxied = bundle;
    proxied.insert(proxied.end(), {"--client-id", "7", "--client-name", "client07"});
    const ProgramResult viaA = collect(a.address(), proxied, "via-a");
    ASSERT_EQ(viaA.status, 0) << viaA.out << viaA.err << testenv::readFile(run_.file("a.log"));
    const ProgramResult direct = collect(b->address(), bundle, "direct");
    ASSERT_EQ(direct.status, 0) << direct.out << direct.err;

    const Contents got = contentsOf(
        onlyFile(run_.file("via-a/127.0.0.1_" + std::to_string(a.port()))), "./jobResults/");
    const Contents expected =
        contentsOf(onlyFile(run_.file("direct/127.0.0.1_" + std::to_string(b->port()))),
                   jobResultsPrefixOf(b_));
    EXPECT_GE(expected.logs.size(), 3u);
    EXPECT_GE(expected.jobResults.size(), 4u);
    EXPECT_TRUE(got.logs == expected.logs);
    EXPECT_TRUE(got.jobResults == expected.jobResults);
    EXPECT_EQ(got.others, std::vector<std::string>()) << "nothing of A itself";
    EXPECT_TRUE(contains(testenv::readFile(run_.file("b.log")), "proxy download, bundle request"));
    expectNoDownloadLeft();

    // A job log for the remote client: A's own lines, then exactly what B sends for the
    // same job and client name.
    const ProgramResult jobViaA =
        collect(a.address(), {"--job", "1001", "--client-id", "7", "--client-name", "client07"},
                "job-via-a");
    ASSERT_EQ(jobViaA.status, 0) << jobViaA.out << jobViaA.err;
    const ProgramResult jobDirect =
        collect(b->address(), {"--job", "1001", "--client-name", "client07"}, "job-direct");
    ASSERT_EQ(jobDirect.status, 0) << jobDirect.out << jobDirect.err;
    const std::string log = testenv::readFile(onlyFile(onlyFile(run_.file("job-via-a"))));
    const std::string fromB = testenv::readFile(onlyFile(onlyFile(run_.file("job-direct"))));
    EXPECT_GT(fromB.size(), 1000u);
    ASSERT_GT(log.size(), fromB.size());
    EXPECT_EQ(log.substr(log.size() - fromB.size()), fromB);
    EXPECT_TRUE(contains(log.substr(0, log.size() - fromB.size()),
                         "Machine : " + std::string(tooling::SandboxFacts::kClientHostName)));
    expectNoDownloadLeft();

    // A browse request for client 8 (operating-system id 118) makes the folder on B.
    const std::string folder = run_.file("made on b");
    ProgramResult made = runSendlogs({"mkdir", "--sandbox", a_, "--client-id", "8", folder}, run_);
    EXPECT_EQ(made.status, 0) << made.out << made.err;
    EXPECT_TRUE(fs::is_directory(folder));
    made = runSendlogs({"mkdir", "--sandbox", a_, "--client-id", "8", folder}, run_);
    EXPECT_EQ(made.status, 1) << made.out;
    EXPECT_TRUE(contains(made.out, "FAILED")) << made.out;
}

TEST_F(ProxyTest, UnreachableOrRefusingClientYieldsNothingOfIt) {
    ServeProcess a(a_, run_.file("a.log"));
    remoteClientsAt(closedPort());
    const std::vector<std::string> request = {"--product-logs", "--job-results", "--client-id",
                                              "7"};
    ProgramResult r = collect(a.address(), request, "unreachable");
    EXPECT_EQ(r.status, 1) << r.out;
    std::string log = testenv::readFile(run_.file("a.log"));
    EXPECT_TRUE(contains(log, "Failed to connect to remote client.")) << log;
    EXPECT_TRUE(contains(log, "unix log bundle name is empty")) << log;
    expectNoDownloadLeft();

    // B does not trust A's requester certificate: the download fails, and the request goes
    // on with what arrived, which is nothing.
    auto b = serveB(true);
    remoteClientsAt(b->address());
    r = collect(a.address(), request, "refused");
    log = testenv::readFile(run_.file("a.log"));
    EXPECT_TRUE(contains(log, "Failed download client's log files:")) << log;
    ASSERT_EQ(r.status, 0) << r.out;
    const Contents got = contentsOf(
        onlyFile(run_.file("refused/127.0.0.1_" + std::to_string(a.port()))), "./jobResults/");
    EXPECT_TRUE(got.logs.empty() && got.jobResults.empty() && got.others.empty());
    std::string printed;
    EXPECT_EQ(b->stop(&printed), 0);
    EXPECT_TRUE(contains(printed, "0 request(s), 1 refused")) << printed;
    expectNoDownloadLeft();
}

}  // namespace
