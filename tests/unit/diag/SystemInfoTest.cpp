// The system information bundle: its scripts, what the bundle receives, what is left behind,
// and the scrubbed variant.
#include <gtest/gtest.h>

#include <cerrno>

#include "DiagFixture.h"
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
    const std::vector<std::string> includes = {"/srv/core dumps/unameinfo.log", "/etc/os-release"};
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
    EXPECT_EQ(diagtest::Installation::entries(inst_.cores),
              (std::vector<std::string>{"core.wyd.1", "unameinfo.log"}));
    EXPECT_EQ(testenv::errorLines(inst_.log()), "");
}

TEST_F(SystemInfoTest, AScriptThatCannotBeWrittenWholeDoesNotRun) {
    host::io::injectWriteFault(ENOSPC, 10);
    EXPECT_FALSE(run(0x4));
    EXPECT_FALSE(testenv::exists(bundle()));
    EXPECT_TRUE(diagtest::Installation::entries(inst_.cores).empty());
}

// What a scrubbed bundle holds, and that it leaks no masked value, is checked by a whole
// scrubbed diagnostics request; here, that only the scrubbed copy goes in and nothing stays.
TEST_F(SystemInfoTest, ScrubbedVariantBundlesOnlyTheScrubbedCopyAndNoCores) {
    testenv::writeFile(inst_.cores + "/core.wyd.1", tooling::sandbox::elfCoreFile("wyd", "wyd"));
    ScrubRuleList rules;
    scrubtest::addLiteral(rules, "client01");
    ASSERT_TRUE(run(0x4 | 0x100 | 0x40000000, rules));

    const auto names = tartest::members(bundle());
    ASSERT_EQ(tartest::endingWith(names, "/unameinfo.log").size(), 1u);
    const std::string scrubbed = inst_.results.substr(1) + "/ScrubbedSystemLogs_";
    for (const std::string& name : names) EXPECT_EQ(name.rfind(scrubbed, 0), 0u) << name;
    EXPECT_TRUE(diagtest::Installation::entries(inst_.temp).empty());
    EXPECT_TRUE(diagtest::Installation::entries(inst_.results).empty());  // scrub folder gone
}

}  // namespace
