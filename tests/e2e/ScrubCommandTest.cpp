// "sendlogs scrub" end to end: the program in a fresh folder, on a file and on a tree.
#include <gtest/gtest.h>

#include "support/TestEnv.h"

using testenv::readFile;
using testenv::writeFile;

namespace {

const std::string kProgram = SENDLOGS_BINARY_DIR "/sendlogs";

class ScrubCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testenv::exists(kProgram)) GTEST_SKIP() << "sendlogs not built";
        patterns_ = dir_.file("patterns.txt");
        writeFile(patterns_,
                  "host1\njsmith&#*#&Masked_User\n"
                  "10\\.[0-9]+\\.[0-9]+\\.[0-9]+&#*#&##isregexmagic##10.\n");
    }
    int run(const std::string& args) {
        return testenv::runShell("cd '" + dir_.path() + "' && '" + kProgram + "' scrub " + args +
                                 " >out.txt 2>err.txt");
    }
    testenv::TempDir dir_;
    std::string patterns_;
};

TEST_F(ScrubCommand, FileAndTree) {
    writeFile(dir_.file("src/a.log"), "jsmith on host1 at 10.1.2.3\n");
    writeFile(dir_.file("src/sub/b.log"), "host1 again\n");
    ASSERT_EQ(0, run("--patterns patterns.txt src/a.log copy.log"));
    EXPECT_EQ("Masked_User on MaskedData1 at MaskedData2\n", readFile(dir_.file("copy.log")));
    ASSERT_EQ(0, run("--patterns patterns.txt --threads 2 src scrubbed"));
    EXPECT_EQ("MaskedData1 again\n", readFile(dir_.file("scrubbed/sub/b.log")));
    // A file into an existing directory keeps its name.
    ASSERT_EQ(0, run("--patterns patterns.txt src/a.log scrubbed"));
    EXPECT_TRUE(testenv::exists(dir_.file("scrubbed/a.log")));
}

TEST_F(ScrubCommand, Failures) {
    writeFile(dir_.file("src/a.log"), "host1\n");
    EXPECT_EQ(1, run("--patterns missing.txt src out"));
    EXPECT_NE(std::string::npos, readFile(dir_.file("err.txt")).find("patterns file"));
    EXPECT_EQ(1, run("--patterns patterns.txt src no/such/parent/out"));
    EXPECT_EQ(2, run("src out"));  // --patterns is required
    EXPECT_EQ(2, run("--patterns patterns.txt --threads 0 src out"));
}

}  // namespace
