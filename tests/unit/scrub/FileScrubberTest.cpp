// Scrubbed copies of single files: kept lines, long lines, failures, withheld lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/FileHandle.h"
#include "host/Log.h"
#include "scrub/FileScrubber.h"
#include "scrub/LineScrubber.h"
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
              "host1 up\n\n\tindented host1\n\xC3\xA9t\xC3\xA9 host1\n starts blank host1\r\n\x01"
              "ctl\nlast host1");
    ASSERT_TRUE(scrubSingleLogFile(in.c_str(), out.c_str(), &rules_, &map_));
    EXPECT_EQ("MaskedData0 up\n starts blank MaskedData0\r\nlast MaskedData0\n", readFile(out));
    // Without rules kept lines are copied unchanged, header lines too.
    writeFile(in, "* Hubmaster : host1\n\n");
    ASSERT_TRUE(scrubSingleLogFile(in.c_str(), out.c_str(), nullptr, &map_));
    EXPECT_EQ("* Hubmaster : host1\n", readFile(out));
}

TEST_F(FileScrubber, LongLineIsCutBeforeScrubbing) {
    const std::string in = dir_.file("in.log"), out = dir_.file("out.log");
    std::string line = "host1 " + std::string(65536 - 12, 'x') + " host1 tail host1";
    writeFile(in, line + "\nnext host1\n");
    ASSERT_TRUE(scrubSingleLogFile(in.c_str(), out.c_str(), &rules_, &map_));
    // The value right at the 64 KiB cut is still a word.
    const std::string expected = "MaskedData0 " + std::string(65536 - 12, 'x') + " MaskedData0";
    EXPECT_EQ(expected + "\nnext MaskedData0\n", readFile(out));
}

// Whatever fails, the destination keeps what it held and no temporary file stays beside it.
TEST_F(FileScrubber, FailuresLeaveTheDestinationAsItWas) {
    const std::string in = dir_.file("in.log"), out = dir_.mkdir("out") + "/copy.log";
    writeFile(in, "host1\n");
    writeFile(out, "previous\n");
    auto untouched = [&] {
        return readFile(out) == "previous\n" &&
               testenv::folderEntries(dir_.file("out")).size() == 1;
    };
    EXPECT_FALSE(scrubSingleLogFile(dir_.file("missing").c_str(), out.c_str(), &rules_, &map_));
    EXPECT_TRUE(untouched());
    EXPECT_NE(std::string::npos, log().find("Failed to open [" + dir_.file("missing") + "]"));
    EXPECT_FALSE(
        scrubSingleLogFile(in.c_str(), dir_.file("no/such/dir/out").c_str(), &rules_, &map_));
    // A full disk mid-copy or only at close, a read error of the source.
    for (int fault = 0; fault < 3; ++fault) {
        if (fault == 0) host::io::injectWriteFault(ENOSPC, 3);
        if (fault == 1) host::io::injectCloseFault(ENOSPC);
        if (fault == 2) host::io::injectReadFault(EIO, 2);
        EXPECT_FALSE(scrubSingleLogFile(in.c_str(), out.c_str(), &rules_, &map_)) << fault;
        EXPECT_TRUE(untouched()) << fault;
    }
    EXPECT_NE(std::string::npos, log().find("error while reading file"));
    host::io::clearFaults();
    ASSERT_TRUE(scrubSingleLogFile(in.c_str(), out.c_str(), &rules_, &map_));
    EXPECT_EQ("MaskedData0\n", readFile(out));
}

// A FIFO or a device is refused without a blocking open.
TEST_F(FileScrubber, OnlyRegularFilesAreRead) {
    const std::string fifo = dir_.file("fifo.log");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    EXPECT_FALSE(scrubSingleLogFile(fifo.c_str(), dir_.file("a").c_str(), &rules_, &map_));
    EXPECT_FALSE(scrubSingleLogFile("/dev/zero", dir_.file("b").c_str(), &rules_, &map_));
    EXPECT_FALSE(scrubSingleLogFile(dir_.path().c_str(), dir_.file("c").c_str(), &rules_, &map_));
    EXPECT_FALSE(testenv::exists(dir_.file("a")) || testenv::exists(dir_.file("b")));
}

// The copy never replaces its own source, by any name, and is never more readable than it.
TEST_F(FileScrubber, SourceIsNeverOverwrittenAndModeIsKept) {
    const std::string in = dir_.file("in.log");
    writeFile(in, "host1 secret\n");
    ASSERT_EQ(0, chmod(in.c_str(), 0640));
    ASSERT_EQ(0, symlink(in.c_str(), dir_.file("link.log").c_str()));
    ASSERT_EQ(0, link(in.c_str(), dir_.file("hard.log").c_str()));
    for (const std::string& same :
         {in, dir_.path() + "/./in.log", dir_.file("link.log"), dir_.file("hard.log")}) {
        EXPECT_FALSE(scrubSingleLogFile(in.c_str(), same.c_str(), &rules_, &map_)) << same;
        EXPECT_EQ("host1 secret\n", readFile(in));
    }
    const std::string out = dir_.file("out.log");
    ASSERT_TRUE(scrubSingleLogFile(in.c_str(), out.c_str(), &rules_, &map_));
    struct stat st;
    ASSERT_EQ(0, stat(out.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    ASSERT_EQ(0, chmod(in.c_str(), 0400));
    ASSERT_TRUE(scrubSingleLogFile(in.c_str(), out.c_str(), &rules_, &map_));
    ASSERT_EQ(0, stat(out.c_str(), &st));
    EXPECT_EQ(0400u, st.st_mode & 07777);
}

// A line a regex rule gives up on is withheld whole; the log names the rule, never the line
// (nor a broken expression's text).
TEST_F(FileScrubber, LineARuleCannotBeAppliedToIsWithheld) {
    ScrubRuleList rules;
    scrubtest::addLiteral(rules, "topsecret");
    scrubtest::addRegex(rules, "([a-z0-9]+[.]?)+@corp\\.com");
    scrubtest::addRegex(rules, "(jsmith");
    std::string line = "topsecret " + std::string(80, 'x') + "! contact jsmith@corp.com\n";
    EXPECT_EQ(-1, scrubLogLine(line, &rules, &map_));
    EXPECT_EQ("Masked_RedactedLine\n", line);
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Scrub rule 1 could not be applied")) << text;
    EXPECT_NE(std::string::npos, text.find("does not compile")) << text;
    EXPECT_EQ(std::string::npos, text.find("jsmith"));
    EXPECT_EQ(std::string::npos, text.find("topsecret"));

    // Logged once per rule; lines it can be applied to are masked as before.
    std::string again = "token " + std::string(80, 'x') + "! jsmith@corp.com";
    EXPECT_EQ(-1, scrubLogLine(again, &rules, &map_));
    std::string fine = "mail jsmith@corp.com";
    EXPECT_EQ(0, scrubLogLine(fine, &rules, &map_));
    EXPECT_EQ("mail MaskedData1", fine);
    const std::string after = log();
    EXPECT_EQ(after.find("Scrub rule 1 could not"), after.rfind("Scrub rule 1 could not"));
}

TEST_F(FileScrubber, LineOutOfTimeIsWithheld) {
    ScrubRuleList rules;
    scrubtest::addRegex(rules, "[0-9]+");
    auto scrubber = scrub::makeLineScrubber(&rules, &map_);
    scrubber->setLineTimeLimit(std::chrono::nanoseconds(0));
    std::string line = "pin 1234";
    EXPECT_FALSE(scrubber->scrub(line));
    EXPECT_EQ("Masked_RedactedLine", line);
    EXPECT_EQ(1u, scrubber->redactedLines());
}

}  // namespace
