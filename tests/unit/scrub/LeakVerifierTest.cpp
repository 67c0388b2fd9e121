// The one definition of a leak: findings, nested members read, the unreadable never clean.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host/Archive.h"
#include "host/Process.h"
#include "scrub/LeakVerifier.h"
#include "support/ScrubTestRules.h"
#include "support/TestEnv.h"

using testenv::writeFile;

namespace {

class LeakVerifierTest : public ::testing::Test {
  protected:
    void SetUp() override {
        scrubtest::addLiteral(rules_, "jsmith");                       // rule 1
        scrubtest::addLiteral(rules_, "user@corp");                    // rule 2
        scrubtest::addRegex(rules_, "10\\.[0-9]+\\.[0-9]+\\.[0-9]+");  // rule 3
        scrubtest::addLiteral(rules_, "data");                         // rule 4
        map_["jsmith"] = "Masked_User";
    }
    std::vector<size_t> found(const std::string& line) {
        scrub::LeakVerifier verifier(rules_, map_);
        std::vector<size_t> rules;
        EXPECT_TRUE(verifier.rulesFoundIn(line, rules));
        return rules;
    }
    void sh(const std::string& command) { ASSERT_EQ(0, testenv::runShell(command)) << command; }

    ScrubRuleList rules_;
    ReplacementMap map_;
    testenv::TempDir dir_;
};

using Rules = std::vector<size_t>;

TEST_F(LeakVerifierTest, ValuesCountInAnyCaseAnywhereAndUrlEscaped) {
    EXPECT_EQ(Rules({1}), found("login JSMITH ok"));
    EXPECT_EQ(Rules({1}), found("xjsmithx"));  // stricter than the scrubber: no word test
    EXPECT_EQ(Rules({2}), found("GET /?u=User%40Corp&x=1"));
    EXPECT_EQ(Rules({3}), found("via 10.1.2.3"));
    EXPECT_EQ(Rules({1, 3, 4}), found("jsmith at 10.0.0.1 with data"));
    // Masked names are not values, and no value runs across one.
    EXPECT_EQ(Rules(), found("MaskedData12 Masked_User MaskedData3.MaskedData4"));
    EXPECT_EQ(Rules(), found("* MachineMasked_CustomData Masked_RedactedLine"));
    EXPECT_EQ(Rules(), found("jsmMaskedData1ith"));
}

TEST_F(LeakVerifierTest, EveryFileAndNestedMemberIsRead) {
    if (!testenv::haveProgram("tar") || !testenv::haveProgram("bzip2")) GTEST_SKIP();
    writeFile(dir_.file("in/clean.log"), "MaskedData0 logged in\n");
    writeFile(dir_.file("inner/deep.log"), "one\ntwo\nsession of jsmith\n");
    dir_.mkdir("in/pack");
    C7zip zip(nullptr, 2);
    std::map<std::wstring, std::wstring> failures;
    ASSERT_FALSE(zip.AddFilesToArchive(dir_.file("in/pack/inner.7z"), {dir_.file("inner/deep.log")},
                                       failures)
                     .IsError());
    writeFile(dir_.file("in/pack/note.txt"), "address 10.9.8.7\n");
    sh("cd '" + dir_.file("in") + "' && tar czf bundle.tar.gz pack && rm -r pack");
    writeFile(dir_.file("in/old.log"), "x\nuser@corp\n");
    sh("bzip2 '" + dir_.file("in/old.log") + "'");

    scrub::LeakVerifier verifier(rules_, map_);
    scrub::LeakReport report = verifier.verify(dir_.file("in"));
    std::set<std::string> seen;
    for (const auto& f : report.findings)
        seen.insert(f.member + ":" + std::to_string(f.line) + ":" + std::to_string(f.rule));
    EXPECT_EQ((std::set<std::string>{"bundle.tar.gz!pack/inner.7z!deep.log:3:1",
                                     "bundle.tar.gz!pack/note.txt:1:3", "old.log.bz2:2:2"}),
              seen);
    EXPECT_TRUE(report.unreadable.empty());
    EXPECT_EQ(1, report.status());
}

TEST_F(LeakVerifierTest, WhatCannotBeReadOrCheckedIsNotClean) {
    writeFile(dir_.file("in/clean.log"), "nothing here\n");
    scrub::LeakVerifier clean(rules_, map_);
    EXPECT_EQ(0, clean.verify(dir_.file("in")).status());

    writeFile(dir_.file("in/broken.tar.gz"), std::string("\x1f\x8b\x08\x00garbage", 12));
    ASSERT_EQ(0, mkfifo(dir_.file("in/pipe").c_str(), 0600));
    scrub::LeakReport report = clean.verify(dir_.file("in"));
    EXPECT_EQ(2u, report.unreadable.size());
    EXPECT_EQ(2, report.status());
    EXPECT_EQ(2, clean.verify(dir_.file("absent")).status());

    // A rule that cannot be checked leaves the result unknown, not clean.
    scrubtest::addRegex(rules_, "([a-z");
    scrub::LeakVerifier broken(rules_, map_);
    EXPECT_EQ(2, broken.verify(dir_.file("in/clean.log")).status());
}

}  // namespace
