// Two sandboxes on loopback, each served by its own "sendlogs serve": remote collects, and the
// remote-client proxy: A knows clients 7 and 8 (os id 118) as served by B, so A collects B's logs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "support/BundleScan.h"
#include "support/ProgramRun.h"
#include "support/TestEnv.h"
#include "tooling/Sandbox.h"

using namespace testenv;

namespace fs = std::filesystem;
using clitest::onlyFile;
using clitest::ProgramResult;
using clitest::runSendlogs;
using clitest::ServeProcess;

namespace {

// A bundle's logs and job results by their names on their machine ("./wyd.log" -> "wyd.log").
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

class RemoteTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static const TempDir scratch("cli-remote");
        a_ = scratch.file("a");
        b_ = scratch.file("b");
        for (const std::string seed : {"1", "2"}) {
            const ProgramResult made = runSendlogs(
                {"sandbox", "create", seed == "1" ? a_ : b_, "--size-mb", "1", "--seed", seed},
                scratch);
            ASSERT_EQ(made.status, 0) << made.err;
        }
    }

    // B's service with a certificate of A's CA; with ownCa, B trusts only its own CA and refuses A.
    std::unique_ptr<ServeProcess> serveB(bool ownCa = false) {
        const std::string tls = a_ + "/tls/";
        return std::make_unique<ServeProcess>(
            b_, run_.file("b.log"),
            std::vector<std::string>{"--ca", (ownCa ? b_ + "/tls/" : tls) + "ca.pem", "--cert",
                                     tls + "server.pem", "--key", tls + "server.key"});
    }
    void remoteClientsAt(const std::string& address) {
        const std::string clients = tooling::sandboxRegistryRoot(a_) +
                                    "/SOFTWARE/Kestrav Systems/Orvion/" +
                                    tooling::sandboxInstance(a_) + "/Clients/";
        writeFile(clients + "7/sServiceAddress", address + "\n");
        writeFile(clients + "8/nOsId", "118\n");
        writeFile(clients + "8/sServiceAddress", address + "\n");
    }
    ProgramResult collect(const std::string& at, std::vector<std::string> request,
                          const std::string& out) {
        const std::string tls = a_ + "/tls/";
        request.insert(request.begin(),
                       {"collect", "--remote", at, "-o", run_.file(out), "--ca", tls + "ca.pem",
                        "--cert", tls + "requester.pem", "--key", tls + "requester.key"});
        return runSendlogs(request, run_);
    }
    static void expectNoDownloadLeft() {
        const std::string folder = a_ + "/Log_Files/proxyClient";
        EXPECT_TRUE(!fs::exists(folder) || fs::is_empty(folder)) << folder;
    }

    static std::string a_, b_;
    TempDir run_{"cli-remote-run"};
};
std::string RemoteTest::a_, RemoteTest::b_;

TEST_F(RemoteTest, SandboxCertificatesAreFreshAndTheirKeysPrivate) {
    for (const char* name :
         {"ca.pem", "server.pem", "server.key", "requester.pem", "requester.key"}) {
        struct stat st;
        ASSERT_EQ(::stat((a_ + "/tls/" + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 0777, contains(name, ".key") ? 0600u : 0644u) << name;
    }
    const std::string other = run_.file("other");
    ASSERT_EQ(
        runSendlogs({"sandbox", "create", other, "--size-mb", "1", "--seed", "1"}, run_).status, 0);
    EXPECT_NE(readFile(other + "/tls/ca.pem"), readFile(a_ + "/tls/ca.pem"));
}

// Remote collect = local collect; one failing host does not stop the others; SIGTERM stops.
TEST_F(RemoteTest, RemoteCollectMatchesTheLocalOneAndSurvivesAFailingHost) {
    ServeProcess serve(a_, run_.file("serve.log"));
    const ProgramResult remote = collect(serve.address(), {"--job", "1001"}, "remote");
    ASSERT_EQ(remote.status, 0) << remote.out << remote.err;
    EXPECT_TRUE(contains(remote.out, "collect: done: 1 of 1 host(s) done, 1 file(s)"))
        << remote.out;
    const ProgramResult local =
        runSendlogs({"collect", "--sandbox", a_, "--job", "1001", "-o", run_.file("local")}, run_);
    ASSERT_EQ(local.status, 0) << local.err;
    const std::string port = std::to_string(serve.port());
    const std::string remoteLog = readFile(onlyFile(run_.file("remote/127.0.0.1_" + port)));
    EXPECT_GT(remoteLog.size(), 1000u);
    EXPECT_EQ(remoteLog, readFile(onlyFile(run_.file("local"))));

    const std::string refused = clitest::closedPort(), byName = "localhost:" + port;
    writeFile(run_.file("hosts"), "# machines\n" + byName + "\n\n" + refused + "\n");
    const ProgramResult r =
        collect(serve.address(), {"--hosts", run_.file("hosts"), "--job", "1002"}, "out");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (const std::string& line : {serve.address() + ": done: 1 file(s)", byName + ": done",
                                    refused + ": FAILED: cannot connect",
                                    std::string("FAILED: 2 of 3 host(s) done, 2 file(s)")})
        EXPECT_TRUE(contains(r.out, "collect: " + line)) << r.out;
    EXPECT_EQ(readFile(onlyFile(run_.file("out/127.0.0.1_" + port))),
              readFile(onlyFile(run_.file("out/localhost_" + port))));

    std::string printed;
    EXPECT_EQ(serve.stop(&printed), 0);
    EXPECT_TRUE(contains(printed, "SIGTERM received")) << printed;
    EXPECT_TRUE(contains(printed, "stopped after 3 request(s)")) << printed;
    const std::string log = readFile(run_.file("serve.log"));
    EXPECT_TRUE(contains(log, "Request from [CN=sandbox requester,O=sendlogs sandbox]")) << log;
    EXPECT_TRUE(contains(log, "job-log request")) << log;
}

TEST_F(RemoteTest, WrongCommandLinesAndUnusableCertificates) {
    EXPECT_EQ(collect("127.0.0.1", {"--job", "1001"}, "out").status, 2);
    EXPECT_EQ(collect("127.0.0.1:1", {"--sandbox", a_}, "out").status, 2);

    // The requester's key as the service's: the certificate and key do not match.
    const ProgramResult serve = runSendlogs(
        {"serve", "--listen", "127.0.0.1:0", "--sandbox", a_, "--key", a_ + "/tls/requester.key"},
        run_);
    EXPECT_EQ(serve.status, 1);
    EXPECT_TRUE(contains(serve.err, "cannot use the key file")) << serve.err;
}

TEST_F(RemoteTest, ProxyRequestCollectsWhatTheClientItselfSends) {
    auto b = serveB();
    ServeProcess a(a_, run_.file("a.log"));
    remoteClientsAt(b->address());
    const std::vector<std::string> bundle = {"--product-logs", "--job-results"};

    std::vector<std::string> proxied = bundle;
    proxied.insert(proxied.end(), {"--client-id", "7", "--client-name", "client07"});
    const ProgramResult viaA = collect(a.address(), proxied, "via-a");
    ASSERT_EQ(viaA.status, 0) << viaA.out << viaA.err << readFile(run_.file("a.log"));
    const ProgramResult direct = collect(b->address(), bundle, "direct");
    ASSERT_EQ(direct.status, 0) << direct.out << direct.err;

    const Contents got = contentsOf(
        onlyFile(run_.file("via-a/127.0.0.1_" + std::to_string(a.port()))), "./jobResults/");
    const Contents expected =
        contentsOf(onlyFile(run_.file("direct/127.0.0.1_" + std::to_string(b->port()))),
                   b_.substr(1) + "/jobResults/");
    EXPECT_GE(expected.logs.size(), 3u);
    EXPECT_GE(expected.jobResults.size(), 4u);
    EXPECT_TRUE(got.logs == expected.logs);
    EXPECT_TRUE(got.jobResults == expected.jobResults);
    EXPECT_EQ(got.others, std::vector<std::string>()) << "nothing of A itself";
    EXPECT_TRUE(contains(readFile(run_.file("b.log")), "proxy download, bundle request"));
    expectNoDownloadLeft();

    // A remote client's job log: A's own lines, then exactly what B sends for that job and name.
    const ProgramResult jobViaA =
        collect(a.address(), {"--job", "1001", "--client-id", "7", "--client-name", "client07"},
                "job-via-a");
    ASSERT_EQ(jobViaA.status, 0) << jobViaA.out << jobViaA.err;
    const ProgramResult jobDirect =
        collect(b->address(), {"--job", "1001", "--client-name", "client07"}, "job-direct");
    ASSERT_EQ(jobDirect.status, 0) << jobDirect.out << jobDirect.err;
    const std::string log = readFile(onlyFile(onlyFile(run_.file("job-via-a"))));
    const std::string fromB = readFile(onlyFile(onlyFile(run_.file("job-direct"))));
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
    EXPECT_TRUE(made.status == 1 && contains(made.out, "FAILED")) << made.out;
}

TEST_F(RemoteTest, UnreachableOrRefusingClientYieldsNothingOfIt) {
    ServeProcess a(a_, run_.file("a.log"));
    remoteClientsAt(clitest::closedPort());
    const std::vector<std::string> request = {"--product-logs", "--job-results", "--client-id",
                                              "7"};
    ProgramResult r = collect(a.address(), request, "unreachable");
    EXPECT_EQ(r.status, 1) << r.out;
    std::string log = readFile(run_.file("a.log"));
    EXPECT_TRUE(contains(log, "Failed to connect to remote client.") &&
                contains(log, "unix log bundle name is empty"))
        << log;
    expectNoDownloadLeft();

    // B refuses A's requester: the download fails and the request goes on with nothing.
    auto b = serveB(true);
    remoteClientsAt(b->address());
    r = collect(a.address(), request, "refused");
    log = readFile(run_.file("a.log"));
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
