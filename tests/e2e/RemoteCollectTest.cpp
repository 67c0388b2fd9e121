// "sendlogs serve" and "sendlogs collect --remote" end to end on loopback, with the
// certificates that "sandbox create" makes.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ProgramRun.h"
#include "support/ServeProcess.h"
#include "support/TestEnv.h"

namespace fs = std::filesystem;
using clitest::ProgramResult;
using clitest::runSendlogs;
using clitest::ServeProcess;

using testenv::contains;

namespace {

// The one file in dir.
std::string onlyFile(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path().string());
    EXPECT_EQ(files.size(), 1u) << dir;
    return files.empty() ? "" : testenv::readFile(files[0]);
}

class RemoteCollectTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scratch_ = new testenv::TempDir("cli-remote");
        sandbox_ = scratch_->file("sb");
        const ProgramResult made =
            runSendlogs({"sandbox", "create", sandbox_, "--size-mb", "1"}, *scratch_);
        ASSERT_EQ(made.status, 0) << made.err;
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }
    std::vector<std::string> tlsOptions() const {
        const std::string tls = sandbox_ + "/tls/";
        return {"--ca",  tls + "ca.pem",       "--cert", tls + "requester.pem",
                "--key", tls + "requester.key"};
    }
    ProgramResult collectRemote(std::vector<std::string> args) {
        args.insert(args.begin(), "collect");
        const std::vector<std::string> tls = tlsOptions();
        args.insert(args.end(), tls.begin(), tls.end());
        return runSendlogs(args, local_);
    }

    static testenv::TempDir* scratch_;
    static std::string sandbox_;
    testenv::TempDir local_{"cli-remote-run"};
};
testenv::TempDir* RemoteCollectTest::scratch_ = nullptr;
std::string RemoteCollectTest::sandbox_;

TEST_F(RemoteCollectTest, SandboxCertificatesAreFreshTheirKeysPrivateAndNoSecondCreate) {
    for (const char* name :
         {"ca.pem", "server.pem", "server.key", "requester.pem", "requester.key"}) {
        struct stat st;
        ASSERT_EQ(::stat((sandbox_ + "/tls/" + name).c_str(), &st), 0) << name;
        const bool key = contains(name, ".key");
        EXPECT_EQ(st.st_mode & 0777, key ? 0600u : 0644u) << name;
    }
    testenv::TempDir other;
    ASSERT_EQ(runSendlogs({"sandbox", "create", other.file("sb"), "--size-mb", "1"}, local_).status,
              0);
    EXPECT_NE(testenv::readFile(other.file("sb/tls/ca.pem")),
              testenv::readFile(sandbox_ + "/tls/ca.pem"));
    // A second create into the same folder is refused.
    const ProgramResult again = runSendlogs({"sandbox", "create", other.file("sb")}, local_);
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(contains(again.err, "not empty")) << again.err;
}

// A remote collect writes what the in-process collect writes; one failing host among several
// does not stop the others; the service stops cleanly on SIGTERM.
TEST_F(RemoteCollectTest, RemoteCollectMatchesTheLocalOneAndSurvivesAFailingHost) {
    ServeProcess serve(sandbox_, local_.file("serve.log"));
    const ProgramResult remote =
        collectRemote({"--remote", serve.address(), "--job", "1001", "-o", local_.file("remote")});
    ASSERT_EQ(remote.status, 0) << remote.out << remote.err;
    EXPECT_TRUE(contains(remote.out, "collect: done: 1 of 1 host(s) done, 1 file(s)"))
        << remote.out;
    const ProgramResult local = runSendlogs(
        {"collect", "--sandbox", sandbox_, "--job", "1001", "-o", local_.file("local")}, local_);
    ASSERT_EQ(local.status, 0) << local.err;
    const std::string remoteLog =
        onlyFile(local_.file("remote/127.0.0.1_" + std::to_string(serve.port())));
    EXPECT_GT(remoteLog.size(), 1000u);
    EXPECT_EQ(remoteLog, onlyFile(local_.file("local")));

    // A bound socket that does not listen: connections to its port are refused.
    const int closed = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(closed, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    socklen_t len = sizeof any;
    ::getsockname(closed, reinterpret_cast<sockaddr*>(&any), &len);
    const std::string refused = "127.0.0.1:" + std::to_string(ntohs(any.sin_port));
    const std::string byName = "localhost:" + std::to_string(serve.port());
    testenv::writeFile(local_.file("hosts"), "# machines\n" + byName + "\n\n" + refused + "\n");
    const std::string out = local_.file("out");
    const ProgramResult r = collectRemote(
        {"--remote", serve.address(), "--hosts", local_.file("hosts"), "--job", "1002", "-o", out});
    ::close(closed);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "collect: " + serve.address() + ": done: 1 file(s)")) << r.out;
    EXPECT_TRUE(contains(r.out, "collect: " + byName + ": done"));
    EXPECT_TRUE(contains(r.out, "collect: " + refused + ": FAILED: cannot connect")) << r.out;
    EXPECT_TRUE(contains(r.out, "collect: FAILED: 2 of 3 host(s) done, 2 file(s)")) << r.out;
    EXPECT_EQ(onlyFile(out + "/127.0.0.1_" + std::to_string(serve.port())),
              onlyFile(out + "/localhost_" + std::to_string(serve.port())));

    std::string printed;
    EXPECT_EQ(serve.stop(&printed), 0);
    EXPECT_TRUE(contains(printed, "SIGTERM received")) << printed;
    EXPECT_TRUE(contains(printed, "stopped after 3 request(s)")) << printed;
    const std::string log = testenv::readFile(local_.file("serve.log"));
    EXPECT_TRUE(contains(log, "Request from [CN=sandbox requester,O=sendlogs sandbox]")) << log;
    EXPECT_TRUE(contains(log, "job-log request")) << log;
}

TEST_F(RemoteCollectTest, WrongCommandLinesAndUnusableCertificates) {
    const std::string out = local_.file("out");
    EXPECT_EQ(collectRemote({"--remote", "127.0.0.1", "--job", "1001", "-o", out}).status, 2);
    EXPECT_EQ(collectRemote({"--remote", "127.0.0.1:1", "--sandbox", sandbox_, "-o", out}).status,
              2);

    // The requester's key as the service's: the certificate and key do not match.
    const ProgramResult serve = runSendlogs({"serve", "--listen", "127.0.0.1:0", "--sandbox",
                                             sandbox_, "--key", sandbox_ + "/tls/requester.key"},
                                            local_);
    EXPECT_EQ(serve.status, 1);
    EXPECT_TRUE(contains(serve.err, "cannot use the key file")) << serve.err;
}

}  // namespace
