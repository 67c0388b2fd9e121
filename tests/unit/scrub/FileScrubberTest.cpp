// Scrubbed copies of single files: which lines are kept, long lines, failures, and that a
// failing rule never writes the unmasked line into the library's log.
#include <gtest/gtest.h>

#include <cerrno>

#include "host/FileHandle.h"
#include "host/Log.h"
#include "scrub/FileScrubber.h"
#include "scrub/ScrubLogLine.h"
#include "support/ScrubTestRules.h"
#include "support/TestEnv.h"

using testenv::readFile;
using testenv::writeFile;

namespace {

class FileScrubber : public ::testing::Test {
  protected:
    void SetUp() override {
        scrubtest::addLiteral(rules_, "host1");
        logPath_ = dir_.file("library.log");
        host::setLogFilePath(logPath_);
    }
    void TearDown() override { host::resetLogSettings(); }
    std::string log() const { return testenv::exists(logPath_) ? readFile(logPath_) : ""; }

    testenv::TempDir dir_;
    std::string logPath_;
    ScrubRuleList rules_;
    ReplacementMap map_;
};

TEST_F(FileScrubber, KeepsPrintableLinesEachEndedByNewline) {
    const std::string in = dir_.file("in.log"), out = dir_.file("out.log");
    writeFile(in,
              "host1 up\n\n\tindented host1\n\xC3\xA9t\xC3\xA9 host1\n starts blank host1\r\n"
              "\x01"
              "ctl\nlast host1");
    ASSERT_TRUE(scrubSingleLogFile(in.c_str(), out.c_str(), &rules_, &map_));
    EXPECT_EQ("MaskedData0 up\n starts blank MaskedData0\r\nlast MaskedData0\n", readFile(out));
}

TEST_F(FileScrubber, LongLineIsCutBeforeScrubbing) {
    const std::string in = dir_.file("in.log"), out = dir_.file("out.log");
    std::string line = "host1 " + std::string(65536 - 12, 'x') + " host1 tail host1";
    writeFile(in, line + "\nnext host1\n");
    ASSERT_TRUE(scrubSingleLogFile(in.c_str(), out.c_str(), &rules_, &map_));
    // The first 65536 bytes end in "x host1": the value right at the cut is still a word.
    const std::string expected = "MaskedData0 " + std::string(65536 - 12, 'x') + " MaskedData0";
    EXPECT_EQ(expected + "\nnext MaskedData0\n", readFile(out));
}

TEST_F(FileScrubber, MissingSourceLeavesEmptyCopyAndFails) {
    const std::string out = dir_.file("out.log");
    EXPECT_FALSE(scrubSingleLogFile(dir_.file("missing").c_str(), out.c_str(), &rules_, &map_));
    EXPECT_TRUE(testenv::exists(out));
    EXPECT_EQ("", readFile(out));
    EXPECT_NE(std::string::npos, log().find("Failed to open [" + dir_.file("missing") + "]"));
}

TEST_F(FileScrubber, ReadAndWriteFailuresAreReported) {
    const std::string in = dir_.file("in.log");
    writeFile(in, "host1\n");
    EXPECT_FALSE(
        scrubSingleLogFile(in.c_str(), dir_.file("no/such/dir/out").c_str(), &rules_, &map_));
    // A directory opens but cannot be read.
    EXPECT_FALSE(scrubSingleLogFile(dir_.path().c_str(), dir_.file("out").c_str(), &rules_, &map_));
    EXPECT_NE(std::string::npos, log().find("error while reading file"));
    // A full disk, in the middle of the copy or only at its close: not a scrubbed copy.
    host::io::injectWriteFault(ENOSPC, 3);
    EXPECT_FALSE(scrubSingleLogFile(in.c_str(), dir_.file("short").c_str(), &rules_, &map_));
    host::io::injectCloseFault(ENOSPC);
    EXPECT_FALSE(scrubSingleLogFile(in.c_str(), dir_.file("unclosed").c_str(), &rules_, &map_));
    host::io::clearFaults();
}

TEST_F(FileScrubber, NullRulesCopyTheKeptLinesUnchanged) {
    const std::string in = dir_.file("in.log"), out = dir_.file("out.log");
    writeFile(in, "* Hubmaster : host1\n\n");
    ASSERT_TRUE(scrubSingleLogFile(in.c_str(), out.c_str(), nullptr, &map_));
    EXPECT_EQ("* Hubmaster : host1\n", readFile(out));
}

// A regex rule that fails while matching (catastrophic backtracking) is skipped on that
// line: the rules after it still mask, and the log never holds the line.
TEST_F(FileScrubber, FailingRuleIsSkippedAndLineNeverLogged) {
    ScrubRuleList rules;
    scrubtest::addRegex(rules, "(a+)+b");
    scrubtest::addLiteral(rules, "topsecret");
    // The "ab" at the end lets the rule past its prefilter; the run of a's before it makes the
    // engine give up.
    std::string line = "topsecret " + std::string(40, 'a') + "c ab";
    scrubLogLine(line, &rules, &map_);
    EXPECT_EQ(0u, line.find("MaskedData"));
    EXPECT_EQ(std::string::npos, line.find("topsecret"));
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Scrub rule 0 failed")) << text;
    EXPECT_EQ(std::string::npos, text.find("topsecret"));
    EXPECT_EQ(std::string::npos, text.find("aaaaaaaa"));

    // Once per rule, not once per line.
    std::string again = "topsecret " + std::string(40, 'a') + "c ab";
    scrubLogLine(again, &rules, &map_);
    const std::string after = log();
    EXPECT_EQ(after.find("Scrub rule 0 failed"), after.rfind("Scrub rule 0 failed"));
}

TEST_F(FileScrubber, BrokenExpressionIsLoggedWithoutItsText) {
    ScrubRuleList rules;
    scrubtest::addRegex(rules, "(jsmith");
    std::string line = "jsmith";
    scrubLogLine(line, &rules, &map_);
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("does not compile")) << text;
    EXPECT_EQ(std::string::npos, text.find("jsmith"));
}

}  // namespace
