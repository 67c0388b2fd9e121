// The appliance bundle: report options, the hardware-log command, the script, and a run on
// an appliance sandbox with and without scrubbing.
#include <gtest/gtest.h>

#include "diag/ApplianceLogs.h"
#include "support/ScrubTestRules.h"
#include "support/TarListing.h"
#include "support/TestEnv.h"
#include "tooling/Sandbox.h"
#include "tooling/SandboxDiagnostics.h"

namespace {

TEST(ApplianceScript, ReportOptionsAndHardwareLogCases) {
    EXPECT_EQ(diag::reportPluginOptions("kernel,lvm", "skipped"), " -o kernel,lvm");
    EXPECT_EQ(diag::reportPluginOptions("", ""), " -a");
    EXPECT_EQ(diag::reportPluginOptions("", "a b"), " -a -n 'a b'");

    EXPECT_EQ(diag::hardwareLogCommand("", "/opt/o", "/st/hw", "/logs"), "");
    EXPECT_EQ(diag::hardwareLogCommand("Tessaro", "/opt/o", "/st/hw", "/logs"), "");
    EXPECT_EQ(diag::hardwareLogCommand("TessaroHS", "", "/st/hw", "/logs"), "");
    EXPECT_EQ(diag::hardwareLogCommand("TessaroHS", "/opt/o", "/st/hw", ""),
              "python /opt/o/MediaAgent/wy_collect_ts_logs.py -helog -hwlog -o /st/hw");
    EXPECT_EQ(diag::hardwareLogCommand("TessaroHS", "/opt/o", "/st/hw", "/my logs"),
              "python /opt/o/MediaAgent/wy_collect_ts_logs.py -helog -hwlog -o /st/hw -l "
              "'/my logs'");
}

TEST(ApplianceScript, ReportRunsBeforeTheTarLineWhichExpandsItsPattern) {
    diag::ApplianceScriptInput in;
    in.tempDir = "/o/tmp";
    in.bundle = "/st/b.tar";
    in.supportDir = "/st";
    in.bundleNumber = "77";
    in.operands = "/var/log/vdsm ";
    EXPECT_EQ(diag::applianceScript(in),
              "cd  /o/tmp\ntouch /st/b.tar\ntar -rvf /st/b.tar /var/log/vdsm  >/dev/null 2>&1\n"
              "cd  /o/tmp\n");

    in.report = true;
    in.pluginOptions = " -a";
    in.reportPattern = diag::reportPattern("/st", "77");
    in.operands += "/o/tmp/sosreport_cmd_output.log " + in.reportPattern;
    EXPECT_EQ(diag::applianceScript(in),
              "cd  /o/tmp\n"
              "sosreport --batch -a --tmp-dir=/st --name=WYNX-77 > sosreport_cmd_output.log "
              "2>&1\n"
              "touch /st/b.tar\n"
              "tar -rvf /st/b.tar /var/log/vdsm /o/tmp/sosreport_cmd_output.log "
              "/st/sosreport-WYNX-77-*  >/dev/null 2>&1\n"
              "cd  /o/tmp\n"
              "rm -f /st/sosreport-WYNX-77-* sosreport_cmd_output.log ");
    in.scrubFolder = "/jr/Scrubbed T";
    EXPECT_NE(diag::applianceScript(in).find("tar -rvf /st/b.tar '/jr/Scrubbed T' >/dev/null"),
              std::string::npos);
}

// An appliance sandbox, pointed at for the lifetime of the fixture.
class ApplianceRun : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_.file("sb");
        tooling::SandboxOptions options;
        options.logBytes = 64 << 10;
        std::string error;
        ASSERT_TRUE(tooling::createSandbox(dir_, options, error)) << error;
        ASSERT_TRUE(tooling::enableSandboxCase(dir_, "appliance", error)) << error;
        root_.reset(
            new testenv::ScopedEnv("ORVION_REGISTRY_ROOT", tooling::sandboxRegistryRoot(dir_)));
        instance_.reset(new testenv::ScopedEnv("ORVION_INSTANCE", "Instance001"));
        path_.reset(new testenv::ScopedEnv(
            "PATH", tooling::sandboxProgramDir(dir_) + ":" + std::string(getenv("PATH"))));
        log_.reset(new testenv::ScopedEnv("SENDLOGS_LOG_FILE", scratch_.file("library.log")));
        support_ = scratch_.mkdir("Support_1");
    }
    std::vector<std::string> run(unsigned long options, ScrubRuleList rules = {}) {
        ReplacementMap map;
        EXPECT_TRUE(
            bundleTessaroLogs(77, support_, bundle(), options, 1, dir_ + "/home", &rules, &map));
        return tartest::members(bundle());
    }
    std::string bundle() const { return support_ + "/logFiles_77.tar"; }

    testenv::TempDir scratch_{"appliance"};
    std::string dir_, support_;
    std::unique_ptr<testenv::ScopedEnv> root_, instance_, path_, log_;
};

TEST_F(ApplianceRun, BundlesReportCommandOutputAndHardwareLogsThenCleansUp) {
    const auto names = run(0);
    EXPECT_TRUE(tartest::has(names, "/Support_1/sosreport-WYNX-77-sandbox.tar")) << names.size();
    EXPECT_TRUE(tartest::has(names, "/tmp/sosreport_cmd_output.log"));
    EXPECT_TRUE(tartest::has(names, "/Support_1/tessaroHWLogs-WYNX-77/hardware_events.log"));
    // The report files and the command output are removed; the hardware logs stay for teardown.
    EXPECT_FALSE(testenv::exists(support_ + "/sosreport-WYNX-77-sandbox.tar"));
    EXPECT_FALSE(testenv::exists(dir_ + "/tmp/sosreport_cmd_output.log"));
    EXPECT_TRUE(testenv::exists(support_ + "/tessaroHWLogs-WYNX-77"));
    EXPECT_TRUE(testenv::exists(dir_ + "/tmp") &&
                testenv::runShell("ls " + dir_ + "/tmp | grep -q tsbundles") != 0);
}

TEST_F(ApplianceRun, ScrubbedRunBundlesOnlyScrubbedCopies) {
    ScrubRuleList rules;
    scrubtest::addLiteral(rules, "predictive");
    const auto names = run(0x40000000, rules);
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names)
        EXPECT_NE(name.find("/ScrubbedTessaroLogs_"), std::string::npos) << name;
    const auto events = tartest::endingWith(names, "/hardware_events.log");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(tartest::text(bundle(), events[0]).find("predictive"), std::string::npos);
    EXPECT_FALSE(tartest::has(names, "sandbox.tar"));
    EXPECT_FALSE(testenv::exists(support_ + "/sosreport-WYNX-77-sandbox.tar"));
    EXPECT_NE(testenv::runShell("ls " + dir_ + "/jobResults | grep -q Scrubbed"), 0);
}

}  // namespace
