// "sendlogs scrub" end to end: the program in a fresh folder, on a file and on a tree.
#include <gtest/gtest.h>

#include "support/ProgramRun.h"
#include "support/TestEnv.h"

using namespace testenv;

namespace {

class ScrubCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(dir_.file("patterns.txt"),
                  "host1\njsmith&#*#&Masked_User\n"
                  "10\\.[0-9]+\\.[0-9]+\\.[0-9]+&#*#&##isregexmagic##10.\n");
    }
    // "sendlogs <command> args" in the test's folder, its outputs in out.txt and err.txt.
    int run(const std::string& args, const char* command = "scrub") {
        return runShell("cd '" + dir_.path() + "' && '" + clitest::programPath() + "' " + command +
                        " " + args + " >out.txt 2>err.txt");
    }
    TempDir dir_;
};

TEST_F(ScrubCommand, FileAndTree) {
    writeFile(dir_.file("src/a.log"), "jsmith on host1 at 10.1.2.3\n");
    writeFile(dir_.file("src/sub/b.log"), "host1 again\n");
    ASSERT_EQ(0, run("--patterns patterns.txt src/a.log copy.log"));
    EXPECT_EQ("Masked_User on MaskedData1 at MaskedData2\n", readFile(dir_.file("copy.log")));
    EXPECT_NE(std::string::npos, readFile(dir_.file("out.txt")).find(", 3 values masked,"));
    ASSERT_EQ(0, run("--patterns patterns.txt --threads 2 src scrubbed"));
    EXPECT_EQ("MaskedData1 again\n", readFile(dir_.file("scrubbed/sub/b.log")));
    // A file into an existing directory keeps its name, and replaces a copy only with -f.
    EXPECT_EQ(2, run("--patterns patterns.txt src/a.log scrubbed"));
    ASSERT_EQ(0, run("--patterns patterns.txt -f src/a.log scrubbed"));
    EXPECT_TRUE(exists(dir_.file("scrubbed/a.log")));
}

TEST_F(ScrubCommand, Failures) {
    writeFile(dir_.file("src/a.log"), "host1\n");
    EXPECT_EQ(1, run("--patterns missing.txt src out"));
    EXPECT_NE(std::string::npos, readFile(dir_.file("err.txt")).find("patterns file"));
    EXPECT_EQ(1, run("--patterns patterns.txt src no/such/parent/out"));
    EXPECT_EQ(2, run("src out"));  // --patterns is required
    EXPECT_EQ(2, run("--patterns patterns.txt --threads 0 src out"));
    EXPECT_EQ(1, run("--patterns /dev/urandom src out"));
    // A line withheld because a rule failed on it counts none of the values masked before.
    writeFile(dir_.file("p2"), "topsecret\n([a-z0-9]+[.]?)+@corp\\.com&#*#&##isregexmagic##@\n");
    writeFile(dir_.file("w"), "topsecret " + std::string(80, 'x') + "! a@corp.com\ntopsecret\n");
    EXPECT_EQ(1, run("--json --patterns p2 w w.copy"));
    EXPECT_NE(std::string::npos, readFile(dir_.file("out.txt")).find("\":1,\"values_masked\":1,"));
}

// A copy never lands on its source (name, folder, link, inside the tree); the source is kept.
TEST_F(ScrubCommand, DestinationThatIsTheSourceIsRefused) {
    writeFile(dir_.file("src/a.log"), "jsmith on host1\n");
    ASSERT_EQ(0, runShell("ln -s src/a.log '" + dir_.file("link.log") + "'"));
    for (const char* args : {"src/a.log src/a.log", "src/a.log src", "src/a.log link.log",
                             "src src", "src src/copy"}) {
        EXPECT_EQ(2, run(std::string("--patterns patterns.txt ") + args)) << args;
        EXPECT_EQ("jsmith on host1\n", readFile(dir_.file("src/a.log")));
    }
    EXPECT_FALSE(exists(dir_.file("src/copy")));
}

// The check before a result leaves: findings name file, line and rule, never the value.
TEST_F(ScrubCommand, VerifyTellsLeaksFromCleanResults) {
    writeFile(dir_.file("src/a.log"), "start\njsmith on host1 at 10.1.2.3\n");
    ASSERT_EQ(0, run("--patterns patterns.txt src scrubbed"));
    auto verify = [&](const std::string& args) { return run(args, "verify"); };
    EXPECT_EQ(0, verify("--patterns patterns.txt scrubbed"));
    EXPECT_EQ(1, verify("--patterns patterns.txt src"));
    const std::string findings = readFile(dir_.file("out.txt"));
    EXPECT_NE(std::string::npos, findings.find("a.log:2: rule 1")) << findings;
    EXPECT_NE(std::string::npos, findings.find("a.log:2: rule 3")) << findings;
    EXPECT_EQ(std::string::npos, findings.find("jsmith"));
    EXPECT_EQ(1, verify("--json --patterns patterns.txt src"));
    EXPECT_NE(std::string::npos,
              readFile(dir_.file("out.txt")).find("{\"member\":\"a.log\",\"line\":2,\"rule\":2}"));
    EXPECT_EQ(2, verify("--patterns patterns.txt missing"));
    EXPECT_EQ(2, verify("--patterns missing.txt src"));
}

}  // namespace
