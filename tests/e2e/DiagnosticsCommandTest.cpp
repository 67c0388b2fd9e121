// The program end to end: a sandbox switched into a case, and one collect run that brings back
// system outputs, analysed cores, a command's output and the case's material in one bundle.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/ProgramRun.h"
#include "support/TarListing.h"

namespace {

using clitest::runSendlogs;

TEST(DiagnosticsCommand, SystemInformationCoresAndACommandInOneBundle) {
    testenv::TempDir scratch("cli-diag");
    const std::string sandbox = scratch.file("sb");
    ASSERT_EQ(runSendlogs({"sandbox", "create", sandbox, "--size-mb", "1"}, scratch).status, 0);
    EXPECT_EQ(runSendlogs({"sandbox", "enable", sandbox, "nothing"}, scratch).status, 2);
    ASSERT_EQ(runSendlogs({"sandbox", "enable", sandbox, "sybase"}, scratch).status, 0);

    const std::string out = scratch.file("out");
    const auto run = runSendlogs({"collect", "--sandbox", sandbox, "--product-logs",
                                  "--system-info", "--cores", "--command", "uname -a", "-o", out},
                                 scratch);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    std::vector<std::string> bundles;
    for (const auto& entry : std::filesystem::directory_iterator(out))
        bundles.push_back(entry.path().string());
    ASSERT_EQ(bundles.size(), 1u);
    const auto names = tartest::members(bundles[0]);
    for (const char* suffix : {"/unameinfo.log", ".analysis.txt", "_0.log", "/SYB1.log"})
        EXPECT_TRUE(tartest::has(names, suffix)) << suffix;
}

}  // namespace
