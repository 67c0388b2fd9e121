// The sendlogs program end to end against a fresh sandbox, with its exit statuses.
#include <gtest/gtest.h>

#include "host/Process.h"
#include "support/ProgramRun.h"
#include "support/TestEnv.h"
#include "tooling/Sandbox.h"

using clitest::ProgramResult;
using clitest::runSendlogs;
using testenv::contains;

namespace {

TEST(SendlogsProgram, DispatchesCommandsAndRejectsWrongCommandLines) {
    testenv::TempDir scratch("cli");
    const ProgramResult help = runSendlogs({"--help"}, scratch);
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "collect") && contains(help.out, "sandbox")) << help.out;
    const ProgramResult nested = runSendlogs({"help", "sandbox", "create"}, scratch);
    EXPECT_TRUE(contains(nested.out, "Usage: sendlogs sandbox create [OPTIONS] DIR")) << nested.out;
    EXPECT_EQ(runSendlogs({"help", "frobnicate"}, scratch).status, 2);
    for (const char* command : {"collect", "extract", "scrub", "sandbox", "registry", "mkdir"}) {
        const ProgramResult r = runSendlogs({command, "--help"}, scratch);
        EXPECT_TRUE(contains(r.out, "Usage: sendlogs " + std::string(command) + " ")) << r.out;
        EXPECT_TRUE(contains(r.out, "Exit status: 0 done; 1 failed; 2 wrong command line; 3"))
            << command;
        EXPECT_TRUE(contains(r.out, "--log-level")) << command;
    }
    EXPECT_EQ(runSendlogs({"--version"}, scratch).out, "sendlogs " SENDLOGS_VERSION "\n");
    EXPECT_EQ(runSendlogs({"version"}, scratch).out, "sendlogs " SENDLOGS_VERSION "\n");

    EXPECT_EQ(runSendlogs({}, scratch).status, 2);
    const ProgramResult unknown = runSendlogs({"frobnicate"}, scratch);
    EXPECT_TRUE(unknown.status == 2 && contains(unknown.err, "unknown command")) << unknown.err;

    // Refused before anything runs, with one prefix and a message read at a glance.
    const std::string out = scratch.file("out"), empty = scratch.mkdir("empty");
    const std::vector<std::vector<std::string>> wrong = {
        {"collect", "--job", "1001"},            // no -o
        {"collect", "--job", "abc", "-o", out},  // not a job id
        {"collect", "--job", "0", "-o", out},
        {"collect", "--job", "1", "--tag", "2", "-o", out},
        {"collect", "--from", "2024-02-30 00:00:00", "--to", "1700000000", "-o", out},
        {"collect", "--from", "1700000000", "-o", out},  // --to missing
        {"collect", "--from", "1700000100", "--to", "1700000000", "-o", out},
        {"collect", "--folder", "nodirectory", "-o", out},
        {"collect", "--folder", "../up=/tmp", "-o", out},
        {"collect", "--options", "0xZZ", "-o", out},
        {"collect", "--sandbox", scratch.path(), "--registry", scratch.path(), "-o", out},
        {"collect", "--sandbox", scratch.path(), "--scrub", "-o", out},
        {"collect", "--product-logs", "-o", out},  // no installation to collect from
        {"collect", "--remote", "127.0.0.1:1", "--job", "1001", "-o", out},  // no certificates
        {"serve", "--listen", "127.0.0.1:http"},
        {"serve", "--ca", "/dev/null"},  // no --listen
        {"extract", "--log-dir", empty, "--job", "1", "--tag", "2", "-o", out},
        {"extract", "--log-dir", empty, "--from", "2024-01-01", "-o", out},
        {"extract", "--log-dir", empty, "--from", "now", "--to", "-1h", "-o", out},
        {"sandbox", "create"},
        {"sandbox", "create", scratch.file("s"), "--size-mb", "0"},
        {"sandbox", "create", scratch.file("s"), "--seed", "-3"},
        {"sandbox", "create", scratch.file("no/such/s")},
        {"scrub", "--log-level", "11", "--check-patterns", "/dev/null"},
        {"registry", "dump"},
        {"upload", "--http", "--url", "http://127.0.0.1:1", "--user", "u", "--password-file",
         "/dev/null", "--id", "c9", empty},  // no --handler, and a folder is no file
    };
    testenv::ScopedEnv noInstallation("ORVION_REGISTRY_ROOT", scratch.file("none"));
    for (const auto& args : wrong) {
        const ProgramResult r = runSendlogs(args, scratch);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args) << r.err;
        EXPECT_EQ(r.err.rfind("sendlogs: ", 0), 0u) << r.err;
        EXPECT_LT(r.err.size(), 200u) << r.err;
    }
    EXPECT_FALSE(testenv::exists(out)) << "a refused command line must not act";
    EXPECT_FALSE(testenv::exists(scratch.file("s")));
}

// One sandbox for the requests that only read it.
class CollectTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static const testenv::TempDir scratch("cli-collect");
        sandbox_ = scratch.file("sb");
        ASSERT_EQ(runSendlogs({"sandbox", "create", sandbox_, "--size-mb", "1"}, scratch).status,
                  0);
    }
    ProgramResult collect(std::vector<std::string> request, const std::string& out) {
        request.insert(request.begin(), {"collect", "--sandbox", sandbox_, "-o", out});
        return runSendlogs(request, local_);
    }

    static std::string sandbox_;
    testenv::TempDir local_{"cli-collect-run"};
};
std::string CollectTest::sandbox_;

TEST_F(CollectTest, JobRequestWritesTheJobLog) {
    const std::string out = local_.file("out");
    const ProgramResult first = collect({"--job", "1001"}, out);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    for (const char* line :
         {"product version: 11.32.4", "client time: ", "collect: done: 1 file(s)"})
        EXPECT_TRUE(contains(first.out, line)) << first.out;
    EXPECT_FALSE(contains(first.err, "receiving")) << "progress is for terminals only";

    const std::string file = clitest::onlyFile(out);
    EXPECT_EQ(file.rfind(out + "/1001_", 0), 0u) << file;
    EXPECT_EQ(file.substr(file.size() - 4), ".log");
    EXPECT_TRUE(contains(testenv::readFile(file), "1001"));
}

TEST_F(CollectTest, ShowsProgressOnATerminal) {
    if (!testenv::haveProgram("script")) GTEST_SKIP() << "needs script(1) for a terminal";
    const std::string command = host::shellQuote(clitest::programPath()) + " collect --sandbox " +
                                host::shellQuote(sandbox_) + " --job 1001 -o " +
                                host::shellQuote(local_.file("out"));
    const std::string transcript =
        testenv::output("script -qec " + host::shellQuote(command) + " /dev/null 2>&1 </dev/null");
    EXPECT_TRUE(contains(transcript, "% (")) << transcript;
}

TEST_F(CollectTest, ScrubPatternsFileMasksTheJobLog) {
    const std::string patterns = local_.file("patterns.txt");
    testenv::writeFile(patterns, "socket\nclient01&#*#&Masked_Host\n");
    const std::string out = local_.file("out");
    const ProgramResult r = collect(
        {"--job", "1001", "--client-name", "client01", "--scrub", "--scrub-patterns", patterns},
        out);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string jobLog = testenv::readFile(clitest::onlyFile(out));
    EXPECT_TRUE(contains(jobLog, "Machine : Masked_Host") && contains(jobLog, "MaskedData"));
    size_t masked = 0;  // every value masked left one masked name in the log
    for (size_t at = 0; (at = jobLog.find("Masked", at)) != std::string::npos; ++at) ++masked;
    EXPECT_TRUE(contains(r.out, ", " + std::to_string(masked) + " values masked,")) << r.out;
    // No value leaves: not in the lines, not in the banners the library writes.
    const ProgramResult check = runSendlogs({"verify", "--patterns", patterns, out}, local_);
    EXPECT_EQ(check.status, 0) << check.out;
}

// Every kind of material in one bundle; the restore report travels beside it.
TEST_F(CollectTest, BundleRequestLeavesTheClientsGzipBundleAndTheOracleReport) {
    const std::string out = local_.file("out");
    const std::string folder = local_.mkdir("app logs");
    testenv::writeFile(folder + "/app.log", "app line\n");
    const ProgramResult r =
        collect({"--product-logs", "--job-results", "--system-info", "--cores", "--command",
                 "uname -a", "--client-name", "client01", "--folder", "APP=" + folder, "--job",
                 "1003", "--oracle-restore", "--direct-results"},
                out);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "bundle name: client01_logs.tar.gz")) << r.out;
    ASSERT_TRUE(testenv::exists(out + "/client01_logs.tar.gz"));
    EXPECT_TRUE(testenv::exists(out + "/restore.out"));
    const std::string listing =
        testenv::output("tar -tzf " + host::shellQuote(out + "/client01_logs.tar.gz"));
    for (const char* member : {"./wyd.log\n", "./wyd_3.log.bz2\n", "APP.tar\n",
                               "./WyDiagnostics.7z\n", "/WY_JobResults/2/0/1003/restore.out\n",
                               "/unameinfo.log\n", ".analysis.txt\n", "_0.log\n"})
        EXPECT_TRUE(contains(listing, member)) << member;
    EXPECT_FALSE(contains(listing, "locks"));
    EXPECT_EQ(runSendlogs({"sandbox", "enable", sandbox_, "nothing"}, local_).status, 2);
}

TEST_F(CollectTest, RegistryDumpMasksTheKey) {
    const ProgramResult r =
        runSendlogs({"registry", "dump", "--sandbox", sandbox_, "-o", local_.file("dump")}, local_);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = testenv::readFile(local_.file("dump/OrvionRegistry.txt"));
    EXPECT_TRUE(contains(text, "Listing Registry contents of [SOFTWARE\\ODBC]:\n"));
    EXPECT_TRUE(contains(text, "sWyPwdV5EncKey: REG_SZ: Data [xxx]\n"));
    EXPECT_FALSE(contains(text, "sandbox-encryption-key"));
}

TEST_F(CollectTest, RequestThatSendsNothingHasItsOwnStatusAndPointsAtTheLibraryLog) {
    // Bundle mode without product logs or job results: the library names no bundle.
    const std::string out = local_.file("out");
    const ProgramResult r = collect({}, out);
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "no bundle arrived")) << r.err;
    EXPECT_TRUE(contains(r.err, tooling::sandboxLogDir(sandbox_) + "/SendLogFiles.log")) << r.err;
    EXPECT_TRUE(contains(r.out, "collect: nothing selected"));
    EXPECT_TRUE(clitest::filesIn(out).empty());
}

TEST(CollectFailure, FailureRecordGivesExitStatusOne) {
    testenv::TempDir scratch("cli-failure");
    const std::string dir = scratch.file("sb");
    ASSERT_EQ(runSendlogs({"sandbox", "create", dir, "--size-mb", "1"}, scratch).status, 0);
    // A job results directory that is a file: no staging folder, so the stream ends in failure.
    const std::string notADir = scratch.file("not-a-dir");
    testenv::writeFile(notADir, "x");
    testenv::writeFile(tooling::sandboxRegistryRoot(dir) +
                           "/SOFTWARE/Kestrav Systems/Orvion/Instance001/Base/dJOBRESULTSDIR",
                       notADir + "\n");

    const ProgramResult r = runSendlogs(
        {"collect", "--sandbox", dir, "--job", "1001", "-o", scratch.file("out")}, scratch);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "request status: failure")) << r.out;
    EXPECT_TRUE(contains(r.err, "the library reported a failure")) << r.err;
}

}  // namespace
