// Sandbox creation: the layout a request relies on, the registry as the platform views read
// it, the tool stand-ins, and the folders it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/Process.h"
#include "host/Registry.h"
#include "support/TestEnv.h"
#include "tooling/Sandbox.h"

namespace fs = std::filesystem;
using tooling::SandboxFacts;

namespace {

class SandboxTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scratch_ = new testenv::TempDir("sandbox-test");
        dir_ = scratch_->file("sb");
        tooling::SandboxOptions options;
        options.logBytes = 256 << 10;
        std::string error;
        ASSERT_TRUE(tooling::createSandbox(dir_, options, error)) << error;
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }
    static std::string path(const std::string& relative) { return dir_ + "/" + relative; }

    static testenv::TempDir* scratch_;
    static std::string dir_;
};
testenv::TempDir* SandboxTest::scratch_ = nullptr;
std::string SandboxTest::dir_;

int countEntries(const std::string& dir, const std::string& suffix) {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            ++n;
    }
    return n;
}

TEST_F(SandboxTest, LaysOutTheInstallation) {
    EXPECT_GE(countEntries(path("Log_Files"), ".log"), 3);
    EXPECT_GE(countEntries(path("Log_Files"), ".bz2"), 1);
    for (long long job : SandboxFacts::jobIds()) {
        EXPECT_TRUE(testenv::exists(
            path("jobResults/WY_JobResults/2/0/" + std::to_string(job) + "/JobSummary.txt")));
    }
    EXPECT_TRUE(testenv::exists(path("jobResults/WY_JobResults/2/0/1001/backup.out")));
    EXPECT_TRUE(testenv::exists(path("remote/client07/jobResults")));
    EXPECT_TRUE(testenv::exists(path("base/FwConfig.txt")));
    EXPECT_TRUE(fs::is_directory(path("base/Temp")));
    EXPECT_TRUE(testenv::exists(path("cores/core.4242")));

    const std::string key = path("base/certificates/client_key.pem");
    EXPECT_NE(testenv::readFile(key).find(SandboxFacts::kPrivateKeyMarker), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(testenv::exists(path("base/certificates/client.crt")));

    for (const char* tool : {"home/WyDiagnostics", "home/Base/wysnapcore", "base/WyPerfLogAnalyze"})
        EXPECT_EQ(::access(path(tool).c_str(), X_OK), 0) << tool;

    const std::string env = testenv::readFile(path("sandbox.env"));
    EXPECT_NE(env.find("export ORVION_REGISTRY_ROOT=" +
                       host::shellQuote(tooling::sandboxRegistryRoot(dir_))),
              std::string::npos);
    EXPECT_NE(env.find("export ORVION_INSTANCE=Instance001"), std::string::npos);
}

TEST_F(SandboxTest, RegistryReadsThroughThePlatformViews) {
    testenv::ScopedEnv root("ORVION_REGISTRY_ROOT", tooling::sandboxRegistryRoot(dir_));
    testenv::ScopedEnv instance("ORVION_INSTANCE");
    EXPECT_STREQ(WYPI_Focus::getFocus(), "Instance001");

    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    std::string text;
    ASSERT_NE(info.getString("Base", "sProductVersion", text), 0);
    EXPECT_EQ(text, SandboxFacts::kProductVersion);
    ASSERT_NE(info.getString("Base", "dJOBRESULTSDIR", text), 0);
    EXPECT_EQ(text, path("jobResults"));
    EXPECT_EQ(info.getWYPlatformType() & 0x2, 0x2u);
    ASSERT_NE(info.getPhysicalMachine(), nullptr);
    EXPECT_STREQ(info.getPhysicalMachine(), SandboxFacts::kPhysicalMachine);
    unsigned long threads = 0;
    EXPECT_NE(info.getNumber("Session", "ScrubMaxThreadCount", threads), 0);
    EXPECT_EQ(threads, 2u);

    WYPI_PlatformBase platform;
    platform.setFocus(WYPI_Focus::getFocus());
    ASSERT_NE(platform.getLogFilesDirectory(), nullptr);
    EXPECT_EQ(platform.getLogFilesDirectory(), tooling::sandboxLogDir(dir_));
    ASSERT_NE(platform.getVersion(), nullptr);
    EXPECT_STREQ(platform.getVersion(), SandboxFacts::kProductVersion);

    int osId = 0;
    EXPECT_EQ(WYClient(SandboxFacts::kRemoteClientId).getOperatingSystemId(osId, nullptr), 0);
    EXPECT_EQ(osId, 49);
    std::string installDir;
    EXPECT_EQ(WYClient(SandboxFacts::kLocalClientId).getInstallDirectory(installDir, 4, nullptr),
              0);
    EXPECT_EQ(installDir, path("home"));

    std::map<std::string, host::RegValue> odbc;
    EXPECT_NE(info.getRegValues("SOFTWARE\\ODBC\\ODBC.INI\\OrvionDB", odbc), 0);
    EXPECT_EQ(odbc.count("Driver"), 1u);
    std::vector<std::string> stores;
    EXPECT_EQ(WYPI_FileSystemAgent().getAllSIDBAccessPath(stores), 0);
    EXPECT_EQ(stores, std::vector<std::string>{path("ddb/store1")});
}

TEST_F(SandboxTest, ToolStandInsLeaveWhatTheLibraryExpects) {
    testenv::TempDir out("sandbox-tools");
    const auto q = [](const std::string& s) { return host::shellQuote(s); };
    EXPECT_EQ(testenv::runShell(q(path("home/WyDiagnostics")) +
                                " -vm Instance001 -sendlogfilesjob -output " + q(out.path()) +
                                " >/dev/null 2>&1"),
              0);
    EXPECT_FALSE(testenv::readFile(out.file("WyDiagnostics.7z")).empty());
    EXPECT_NE(testenv::runShell(q(path("home/WyDiagnostics")) + " -vm Instance001 2>/dev/null"), 0);

    EXPECT_EQ(testenv::runShell(q(path("base/WyPerfLogAnalyze")) +
                                " -jobid 1001 -vm Instance001 -opdir " + q(out.path())),
              0);
    EXPECT_NE(testenv::readFile(out.file("PerfAnalysis_1001.log")).find("job 1001"),
              std::string::npos);

    std::string analysis;
    EXPECT_EQ(
        WyProcess::system(("cd " + q(path("home/Base")) + "; ./wysnapcore -c " +
                           q(path("cores/core.4242")) + " -d " + q(out.path()) + " -n Instance001")
                              .c_str(),
                          &analysis, nullptr),
        0);
    EXPECT_NE(analysis.find("Core analysis of"), std::string::npos);
    EXPECT_TRUE(testenv::exists(out.file("core.4242.analysis.txt")));

    if (testenv::haveProgram("file")) {
        std::string kind;
        WyProcess::system(("file " + q(path("cores/core.4242"))).c_str(), &kind, nullptr);
        EXPECT_NE(kind.find("core file"), std::string::npos) << kind;
    }
}

TEST(SandboxCreation, RefusesFoldersItCannotOwn) {
    testenv::TempDir scratch("sandbox-refuse");
    std::string error;
    testenv::writeFile(scratch.file("busy/keep.txt"), "user data\n");
    EXPECT_FALSE(tooling::createSandbox(scratch.file("busy"), {}, error));
    EXPECT_NE(error.find("not empty"), std::string::npos) << error;
    EXPECT_EQ(testenv::readFile(scratch.file("busy/keep.txt")), "user data\n");

    testenv::writeFile(scratch.file("plain"), "x");
    EXPECT_FALSE(tooling::createSandbox(scratch.file("plain"), {}, error));

    const std::string deep = scratch.file(std::string(120, 'd'));
    EXPECT_FALSE(tooling::createSandbox(deep, {}, error));
    EXPECT_FALSE(testenv::exists(deep));
    EXPECT_NE(error.find("longer than"), std::string::npos) << error;

    EXPECT_FALSE(tooling::useSandbox(scratch.path(), "", error));
}

}  // namespace
