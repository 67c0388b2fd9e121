// The system information bundle: scripts, contents, leftovers, scrubbed variant, choice of cores.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "DiagFixture.h"
#include "diag/CoreFiles.h"
#include "diag/SystemInfo.h"
#include "host/FileHandle.h"
#include "support/ScrubTestRules.h"
#include "support/TarListing.h"
#include "tooling/SandboxDiagnostics.h"

namespace {

TEST(SystemInfoScripts, QuoteEveryPathAndSwapTheListForTheScrubFolder) {
    const std::string work = "/srv/core dumps";
    EXPECT_EQ(diag::systemCommandsScript(work).substr(0, 40),
              "cd  '/srv/core dumps'\nmkdir -p proc/sys\n");
    const std::vector<std::string> includes = {work + "/unameinfo.log", "/etc/os-release"};
    const std::string tail =
        "cd  '/srv/core dumps'\n"
        "rm -f diskspace.log netconfig.log ospatch.log oslevel.log lppchk.log bootinfo.log "
        "mountinfo.log diskfree.log 2>&1\n"
        "rm -rf proc/ 2>&1\n";
    EXPECT_EQ(diag::systemBundleScript("/st/b.tar", includes, "", work),
              "touch /st/b.tar\n"
              "tar -rvf /st/b.tar '/srv/core dumps/unameinfo.log' /etc/os-release  >/dev/null "
              "2>&1\n" +
                  tail);
    EXPECT_EQ(diag::systemBundleScript("/st/b.tar", includes, "/jr/Scrubbed 1", work),
              "touch /st/b.tar\ntar -rvf /st/b.tar '/jr/Scrubbed 1' >/dev/null 2>&1\n" + tail);
}

class SystemInfoTest : public ::testing::Test {
  protected:
    std::string bundle() const { return inst_.registry.dir().file("logFiles_1.tar"); }
    bool run(unsigned long options, ScrubRuleList rules = {}) {
        std::string supportDir;
        ReplacementMap map;
        return bundleSystemLogs(1, supportDir, bundle(), options, 0, "", &rules, &map);
    }
    diagtest::Installation inst_;
};

TEST_F(SystemInfoTest, BundlesOutputsFilesAndProcessedCoresAndCleansUp) {
    testenv::writeFile(inst_.cores + "/core.wyd.1",
                       tooling::sandbox::elfCoreFile("wyd", "wyd -d Instance001"));
    ASSERT_TRUE(run(0x4 | 0x100));

    const auto names = tartest::members(bundle());
    const std::string cores = inst_.cores.substr(1);
    for (const char* output :
         {"/unameinfo.log", "/mountinfo.log", "/diskfree.log", "/diskspace.log", "/proc/version",
          "/proc/cpuinfo", "/proc/sys/kernelSettings.log"})
        EXPECT_NE(std::find(names.begin(), names.end(), cores + output), names.end()) << output;
    EXPECT_TRUE(tartest::has(names, "etc/os-release"));
    EXPECT_TRUE(tartest::has(names, "/core.wyd.1.txt"));  // the analyser's output folder
    // Only the uname output stays behind, next to the cores; no script survives its run.
    EXPECT_EQ(testenv::folderEntries(inst_.cores),
              (std::vector<std::string>{"core.wyd.1", "unameinfo.log"}));
    EXPECT_EQ(testenv::errorLines(inst_.log()), "");
}

TEST_F(SystemInfoTest, AScriptThatCannotBeWrittenWholeDoesNotRun) {
    host::io::injectWriteFault(ENOSPC, 10);
    EXPECT_FALSE(run(0x4));
    EXPECT_FALSE(testenv::exists(bundle()));
    EXPECT_TRUE(testenv::folderEntries(inst_.cores).empty());
}

// Leaks are checked by a whole scrubbed request; here: only the scrubbed copy, nothing stays.
TEST_F(SystemInfoTest, ScrubbedVariantBundlesOnlyTheScrubbedCopyAndNoCores) {
    testenv::writeFile(inst_.cores + "/core.wyd.1", tooling::sandbox::elfCoreFile("wyd", "wyd"));
    ScrubRuleList rules;
    scrubtest::addLiteral(rules, "client01");
    ASSERT_TRUE(run(0x4 | 0x100 | 0x40000000, rules));

    const auto names = tartest::members(bundle());
    ASSERT_EQ(tartest::endingWith(names, "/unameinfo.log").size(), 1u);
    const std::string scrubbed = inst_.jobResultsDir.substr(1) + "/ScrubbedSystemLogs_";
    for (const std::string& name : names) EXPECT_EQ(name.rfind(scrubbed, 0), 0u) << name;
    EXPECT_TRUE(testenv::folderEntries(inst_.temp).empty());
    EXPECT_TRUE(testenv::folderEntries(inst_.jobResultsDir).empty());  // scrub folder gone
}

class CoreFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testenv::haveProgram("file")) GTEST_SKIP() << "no file program";
    }
    void core(const std::string& name, const std::string& program, int ageMinutes) {
        const std::string path = inst_.cores + "/" + name;
        testenv::writeFile(path, tooling::sandbox::elfCoreFile(program, program + " -d I1"));
        const time_t when = time(nullptr) - 60 * ageMinutes;
        struct timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    // The cores the analyser saw in this run's output folder, in name order.
    std::vector<std::string> processed() {
        std::vector<std::string> list;
        EXPECT_TRUE(bundleWysnapcore(list, inst_.cores.c_str()));
        if (list.empty()) return {"<no folder>"};
        EXPECT_EQ(list.size(), 1u);
        return testenv::folderEntries(list.back());
    }
    diagtest::Installation inst_;
};

TEST_F(CoreFilesTest, NewestCoresWithinTheTotalAndPerProgramLimits) {
    core("core.wyd.1", "wyd", 1);
    core("core.wyd.2", "wyd", 2);
    core("core.jm.1", "JobManager", 3);
    core("core.wyd.3", "wyd", 4);
    core("core.wyd.4", "wyd", 5);  // the fourth of one program
    core("core.ev.1", "EvMgrS", 6);
    EXPECT_EQ(processed(),
              (std::vector<std::string>{"core.ev.1.txt", "core.jm.1.txt", "core.wyd.1.txt",
                                        "core.wyd.2.txt", "core.wyd.3.txt"}));

    EXPECT_EQ(testenv::errorLines(inst_.log()), "");
    inst_.registry.setString("Session", "dWYSNAPCOREMAXCORES", "3");
    EXPECT_EQ(processed(),
              (std::vector<std::string>{"core.jm.1.txt", "core.wyd.1.txt", "core.wyd.2.txt"}));
    inst_.registry.setString("Session", "dWYSNAPCOREMAXCORESPEREXECUTABLE", "1");
    EXPECT_EQ(processed(),
              (std::vector<std::string>{"core.ev.1.txt", "core.jm.1.txt", "core.wyd.1.txt"}));
    // A limit of 0 processes nothing, but the (empty) folder is still handed over.
    inst_.registry.setString("Session", "dWYSNAPCOREMAXCORES", "0");
    EXPECT_EQ(processed(), std::vector<std::string>{});
}

TEST_F(CoreFilesTest, SwitchedOffOrWithoutCandidatesNothingIsAdded) {
    EXPECT_EQ(processed(), std::vector<std::string>{"<no folder>"});
    EXPECT_TRUE(testenv::folderEntries(inst_.temp).empty());  // folder removed

    core("core.wyd.1", "wyd", 1);
    inst_.registry.setString("Session", "dWYSNAPCOREENABLE", "False  ");
    EXPECT_EQ(processed(), std::vector<std::string>{"<no folder>"});
    EXPECT_TRUE(testenv::folderEntries(inst_.temp).empty());
}

}  // namespace
