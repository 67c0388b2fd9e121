// The appliance bundle: options, hardware-log command, script, and runs with and without scrub.
#include <gtest/gtest.h>

#include "diag/ApplianceLogs.h"
#include "support/RequestHarness.h"
#include "support/ScrubTestRules.h"
#include "support/TarListing.h"

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
    EXPECT_TRUE(testenv::contains(diag::applianceScript(in),
                                  "tar -rvf /st/b.tar '/jr/Scrubbed T' >/dev/null"));
}

class ApplianceRun : public ::testing::Test {
  protected:
    std::vector<std::string> run(unsigned long options, ScrubRuleList rules = {}) {
        ReplacementMap map;
        EXPECT_TRUE(
            bundleTessaroLogs(77, support_, bundle(), options, 1, dir_ + "/home", &rules, &map));
        return tartest::members(bundle());
    }
    std::string bundle() const { return support_ + "/logFiles_77.tar"; }

    harness::Sandbox sandbox_{{"appliance"}, 64 << 10};
    const std::string dir_ = sandbox_.root;
    std::string support_ = sandbox_.scratch.mkdir("Support_1");
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
        EXPECT_TRUE(testenv::contains(name, "/ScrubbedTessaroLogs_")) << name;
    const auto events = tartest::endingWith(names, "/hardware_events.log");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(testenv::contains(tartest::text(bundle(), events[0]), "predictive"));
    EXPECT_FALSE(tartest::has(names, "sandbox.tar"));
    EXPECT_FALSE(testenv::exists(support_ + "/sosreport-WYNX-77-sandbox.tar"));
    EXPECT_NE(testenv::runShell("ls " + dir_ + "/jobResults | grep -q Scrubbed"), 0);
}

}  // namespace
