// The logged command runner, shell patterns that stay patterns, and the tar path helpers.
#include <gtest/gtest.h>

#include "common/Commands.h"
#include "common/TarPaths.h"
#include "host/Log.h"
#include "support/DescriptorLeakCheck.h"
#include "support/TestEnv.h"

namespace {

TEST(RunCommand, ReportsStatusAndLogsUnderTheCaller) {
    testenv::TempDir dir;
    host::setLogFilePath(dir.file("library.log"));
    host::setLogLevel(10);
    const std::string touch = "touch '" + dir.file("made") + "'";
    EXPECT_TRUE(runCommand(touch.c_str(), "caller"));
    EXPECT_TRUE(testenv::exists(dir.file("made")));
    EXPECT_FALSE(runCommand("exit 3", "caller"));
    EXPECT_FALSE(runCommand(nullptr, nullptr));
    EXPECT_FALSE(runCommand("", "caller"));
    const std::string log = testenv::readFile(dir.file("library.log"));
    host::resetLogSettings();
    EXPECT_TRUE(testenv::contains(log, "caller: Failed to execute command:[exit 3]"));
}

TEST(EscapeShellPattern, QuotesEverythingButGlobCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"a b", "a\\ b"},
        {"it's \"x\"", "it\\'s\\ \\\"x\\\""},
        {"Group*", "Group*"},
        {"log_[0-9]?.txt", "log_[0-9]?.txt"},
        {"$(touch x)`id`;&|<>", "\\$\\(touch\\ x\\)\\`id\\`\\;\\&\\|\\<\\>"},
        {"~root\\", "\\~root\\\\"},
    };
    for (const auto& [in, expected] : cases) {
        std::string out;
        ASSERT_TRUE(common::escapeShellPattern(in, out)) << in;
        EXPECT_EQ(expected, out);
    }
    std::string out = "kept";
    EXPECT_FALSE(common::escapeShellPattern("a\nb", out));
    EXPECT_EQ("kept", out);
}

TEST(TarPaths, AbsolutePathsAreStoredRelativeToTheRoot) {
    EXPECT_STREQ(" -C / ", changeToRoot("/var/log"));
    EXPECT_STREQ("", changeToRoot("var/log"));
    EXPECT_STREQ("", changeToRoot(""));
    EXPECT_EQ("var/log", convertToRelativePath("/var/log"));
    EXPECT_EQ("/var/log", convertToRelativePath("//var/log"));
    EXPECT_EQ("var/log", convertToRelativePath("var/log"));
    EXPECT_EQ("", convertToRelativePath(""));
}

}  // namespace
