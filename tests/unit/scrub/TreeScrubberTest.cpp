// Tree scrubbing with the worker pool: mirrored trees, compressed files, destination rules.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "host/FileHandle.h"
#include "host/Log.h"
#include "scrub/ScrubbedCopies.h"
#include "scrub/TreeScrubber.h"
#include "support/ScrubTestRules.h"
#include "support/TestEnv.h"

using testenv::exists;
using testenv::folderEntries;
using testenv::readFile;
using testenv::writeFile;

namespace {

void bzip2(const std::string& path) {
    ASSERT_EQ(0, testenv::runShell("bzip2 -f '" + path + "'"));
}

class TreeScrubber : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testenv::haveProgram("bzip2")) GTEST_SKIP() << "bzip2 not installed";
        host::setLogFilePath(dir_.file("library.log"));
        scrubtest::addLiteral(rules_, "host1");
        scrubtest::addLiteral(rules_, "jsmith");
        map_["jsmith"] = "Masked_User";
        src_ = dir_.mkdir("src");
        registry_.setNumber("Session", "ScrubMaxThreadCount", 2);
        jobResults_ = registry_.makeDir("jobresults");
        registry_.setString("Base", "sPhysicalMachine", "client01");
        registry_.setString("Base", "dJOBRESULTSDIR", jobResults_);
    }
    void TearDown() override { host::resetLogSettings(); }

    testenv::RegistryFixture registry_;
    testenv::TempDir dir_;
    testenv::TempDir temp_{"sendlogs-tmp"};
    testenv::ScopedEnv tmpEnv_{"TMPDIR", temp_.path()};
    std::string src_, jobResults_;
    ScrubRuleList rules_;
    ReplacementMap map_;
};

TEST_F(TreeScrubber, MirrorsTreeAndDecompressesBz2) {
    writeFile(src_ + "/a.log", "a host1\n");
    writeFile(src_ + "/sub/b.log", "b jsmith host1\n");
    writeFile(src_ + "/c.log", "c host1\n");
    bzip2(src_ + "/c.log");
    // A ".bz2" mid-name counts too; this one is cut short and cannot be decompressed.
    std::string noise;
    for (unsigned i = 0, v = 1; i < 20000; ++i)
        noise += static_cast<char>('a' + (v = v * 1103515245u + 12345u) % 26);
    writeFile(src_ + "/x.log", noise + "\n");
    bzip2(src_ + "/x.log");
    ASSERT_EQ(0, testenv::runShell("head -c 100 '" + src_ + "/x.log.bz2' > '" + src_ +
                                   "/x.bz2.old' && rm '" + src_ + "/x.log.bz2'"));
    const std::string dest = dir_.file("dest");
    ASSERT_TRUE(scrubLogFiles(src_.c_str(), dest.c_str(), &rules_, &map_));
    EXPECT_EQ("a MaskedData1\n", readFile(dest + "/a.log"));
    EXPECT_EQ("b Masked_User MaskedData1\n", readFile(dest + "/sub/b.log"));
    EXPECT_EQ("c MaskedData1\n", readFile(dest + "/c.log"));
    EXPECT_EQ(3u, folderEntries(dest).size()) << "a file that cannot be decompressed is left out";
    EXPECT_EQ(0u, folderEntries(temp_.path()).size());
    EXPECT_EQ((ReplacementMap{{"jsmith", "Masked_User"}}), map_);
}

TEST_F(TreeScrubber, OneValueOneNameAcrossFilesAndWorkers) {
    ScrubRuleList rules;
    scrubtest::addRegex(rules, "v[0-9]+");
    for (int i = 0; i < 40; ++i) {
        writeFile(src_ + "/f" + std::to_string(i) + ".log",
                  "v" + std::to_string(i % 7) + " v" + std::to_string((i + 3) % 7) + "\n");
    }
    const std::string dest = dir_.file("dest");
    ASSERT_TRUE(scrubLogFiles(src_.c_str(), dest.c_str(), &rules, &map_));
    std::map<std::string, std::set<std::string>> namesOf;  // value -> the names it got
    for (int i = 0; i < 40; ++i) {
        std::istringstream words(readFile(dest + "/f" + std::to_string(i) + ".log"));
        std::string first, second;
        words >> first >> second;
        namesOf["v" + std::to_string(i % 7)].insert(first);
        namesOf["v" + std::to_string((i + 3) % 7)].insert(second);
    }
    std::set<std::string> names;
    for (const auto& [value, got] : namesOf) {
        EXPECT_EQ(1u, got.size()) << "value " << value << " got two names";
        names.insert(got.begin(), got.end());
    }
    EXPECT_EQ(7u, names.size()) << "seven values, seven distinct names";
}

TEST_F(TreeScrubber, SameCopyNameKeepsBothSourcesInListingOrder) {
    writeFile(src_ + "/x.log", "current host1\n");
    writeFile(src_ + "/y.log", "rotated host1\n");
    bzip2(src_ + "/y.log");
    ASSERT_EQ(0, testenv::runShell("mv '" + src_ + "/y.log.bz2' '" + src_ + "/x.log.bz2'"));
    const std::string dest = dir_.file("dest");
    ASSERT_TRUE(scrubLogFiles(src_.c_str(), dest.c_str(), &rules_, &map_));
    EXPECT_EQ("current MaskedData1\nrotated MaskedData1\n", readFile(dest + "/x.log"));
}

// Never copies into the tree it reads (even via a link); a failed scrub leaves no destination.
TEST_F(TreeScrubber, DestinationMustLieOutsideTheSourceAndBeMade) {
    writeFile(src_ + "/a.log", "host1\n");
    ASSERT_EQ(0, symlink(src_.c_str(), dir_.file("alias").c_str()));
    for (const std::string& dest : {src_, src_ + "/scrubbed", dir_.file("alias") + "/x"}) {
        EXPECT_FALSE(scrubLogFiles(src_.c_str(), dest.c_str(), &rules_, &map_)) << dest;
        EXPECT_EQ("host1\n", readFile(src_ + "/a.log"));
        EXPECT_EQ(1u, folderEntries(src_).size());
    }
    EXPECT_FALSE(
        scrubLogFiles(src_.c_str(), dir_.file("missing/parent/dest").c_str(), &rules_, &map_));
    EXPECT_FALSE(exists(dir_.file("missing")));
    EXPECT_FALSE(
        scrubLogFiles(dir_.file("nowhere").c_str(), dir_.file("dest").c_str(), &rules_, &map_));
    EXPECT_FALSE(exists(dir_.file("dest")));
    const std::string existing = dir_.mkdir("existing");
    EXPECT_TRUE(scrubLogFiles(src_.c_str(), existing.c_str(), &rules_, &map_));
    EXPECT_TRUE(exists(existing + "/a.log"));
}

// Only regular files, links only inside the tree, copies owner-only; a FIFO must not hang.
TEST_F(TreeScrubber, LinksOutOfTheTreeAndSpecialFilesStayOut) {
    writeFile(dir_.file("secret/shadow"), "root:secret\n");
    writeFile(src_ + "/a.log", "host1\n");
    ASSERT_EQ(0, chmod((src_ + "/a.log").c_str(), 0644));
    ASSERT_EQ(0, mkfifo((src_ + "/pipe.log").c_str(), 0600));
    ASSERT_EQ(0, symlink("../secret/shadow", (src_ + "/shadow.log").c_str()));
    ASSERT_EQ(0, symlink(dir_.file("secret").c_str(), (src_ + "/linked").c_str()));
    ASSERT_EQ(0, symlink("/dev/zero", (src_ + "/zero.log").c_str()));
    ASSERT_EQ(0, symlink("a.log", (src_ + "/b.log").c_str()));
    ASSERT_EQ(0, symlink("..", (src_ + "/loop").c_str()));
    writeFile(src_ + "/sub/c.log", "host1\n");
    ASSERT_EQ(0, symlink("..", (src_ + "/sub/up").c_str()));  // inside, but back up the walk
    const std::string dest = dir_.file("dest");
    scrubFiles scrubber(2, 1800000);
    ASSERT_TRUE(scrubber.DoScrubbing(src_.c_str(), dest.c_str(), &rules_, &map_));
    EXPECT_EQ("MaskedData1\n", readFile(dest + "/a.log"));
    EXPECT_EQ("MaskedData1\n", readFile(dest + "/b.log"));
    EXPECT_EQ(3u, folderEntries(dest).size());
    EXPECT_EQ(1u, folderEntries(dest + "/sub").size());
    EXPECT_EQ(5u, scrubber.summary().leftOut);  // pipe, shadow, linked, zero, loop
    struct stat st;
    ASSERT_EQ(0, stat((dest + "/a.log").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    ASSERT_EQ(0, stat(dest.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 07777);
}

TEST_F(TreeScrubber, WriteFailureFailsTheScrubAndUnreadableFilesAreCounted) {
    for (int i = 0; i < 5; ++i) writeFile(src_ + "/f" + std::to_string(i) + ".log", "host1\n");
    writeFile(src_ + "/plain.log.bz2", "host1 is no bzip2 data\n");
    host::io::injectWriteFault(ENOSPC);
    const std::string dest = dir_.file("dest");
    scrubFiles scrubber(2, 1800000);
    EXPECT_FALSE(scrubber.DoScrubbing(src_.c_str(), dest.c_str(), &rules_, &map_));
    host::io::clearFaults();
    const scrub::TreeScrubSummary summary = scrubber.summary();
    EXPECT_EQ(1u, summary.writeFailures);
    EXPECT_EQ(4u, summary.copies);
    EXPECT_EQ(1u, summary.unreadable);
    EXPECT_EQ(4u, folderEntries(dest).size()) << "neither the failed copy nor plain.log";
}

TEST_F(TreeScrubber, WalkerCalledOnItsOwnUsesEachWalksMap) {
    writeFile(src_ + "/a.log", "host1\n");
    writeFile(src_ + "/sub/b.log", "host1\n");
    // Two walks with two maps: the second uses its own map, not names the first learnt.
    {
        scrubFiles scrubber(1, 1800000);
        auto rules = std::make_shared<ScrubRuleList>(rules_);
        auto other = std::make_shared<ReplacementMap>(map_);
        (*other)["host1"] = "Masked_Other";
        EXPECT_TRUE(scrubber.scrubLogFilesHelper(src_.c_str(), dir_.file("first").c_str(), rules,
                                                 std::make_shared<ReplacementMap>(map_)));
        EXPECT_TRUE(
            scrubber.scrubLogFilesHelper(src_.c_str(), dir_.file("second").c_str(), rules, other));
        EXPECT_FALSE(
            scrubber.scrubLogFilesHelper(nullptr, dir_.file("third").c_str(), rules, other));
        // A destination inside the tree is not walked into itself.
        EXPECT_TRUE(
            scrubber.scrubLogFilesHelper(src_.c_str(), (src_ + "/inner").c_str(), rules, other));
    }
    EXPECT_EQ("MaskedData1\n", readFile(dir_.file("first/sub/b.log")));
    EXPECT_EQ("Masked_Other\n", readFile(dir_.file("second/a.log")));
    EXPECT_EQ("Masked_Other\n", readFile(src_ + "/inner/sub/b.log"));
    EXPECT_FALSE(exists(src_ + "/inner/inner"));
}

TEST(ScrubThreadCount, RegistryValueOrHardwareMinusOne) {
    EXPECT_EQ(7, scrub::scrubThreadCount(0, true, 8));
    EXPECT_EQ(7, scrub::scrubThreadCount(0, false, 8));
    EXPECT_EQ(1, scrub::scrubThreadCount(0, false, 1));
    EXPECT_EQ(1, scrub::scrubThreadCount(-4, true, 0));
    EXPECT_EQ(3, scrub::scrubThreadCount(3, true, 8));
    EXPECT_EQ(scrub::kMaxScrubThreads, scrub::scrubThreadCount(1000000, true, 8));
    testenv::RegistryFixture registry;
    registry.setNumber("Session", "ScrubMaxThreadCount", 5);
    EXPECT_EQ(5, scrub::scrubThreadCount());
    scrubFiles small(0, 1800000);
    EXPECT_EQ(1, small.threadCount());
}

TEST_F(TreeScrubber, ListOfFilesAndDirectories) {
    writeFile(src_ + "/one.log", "one host1\n");
    writeFile(src_ + "/tree/two.log", "two host1\n");
    const std::string dest = dir_.mkdir("out");
    std::vector<std::string> made;
    EXPECT_TRUE(scrubFileOrDirList(src_.c_str(), {"one.log", "tree", "gone.log"}, dest.c_str(),
                                   &rules_, &map_, &made));
    EXPECT_EQ((std::vector<std::string>{dest + "/one.log", dest}), made);
    EXPECT_EQ("two MaskedData1\n", readFile(dest + "/tree/two.log"));
    EXPECT_EQ("MaskedData1", map_["host1"]);
    EXPECT_NE(std::string::npos,
              readFile(dir_.file("library.log"))
                  .find("Non-existent path in file/dir list to scrub:[" + src_ + "/gone.log]"));
}

// A new folder in job results each time; on failure no folder is left behind.
TEST_F(TreeScrubber, WrapperScrubsIntoAFolderOfItsOwnInJobResults) {
    bool scrubbed = false;
    std::string first, second;
    EXPECT_EQ(-1, scrubLogFilesWrapper(dir_.file("nowhere"), &rules_, &map_, scrubbed, first));
    EXPECT_FALSE(scrubbed);
    EXPECT_EQ(0u, folderEntries(jobResults_).size()) << "the failed scrub's folder is removed";
    writeFile(src_ + "/a.log", "host1\n");
    ASSERT_EQ(0, scrubLogFilesWrapper(src_, &rules_, &map_, scrubbed, first));
    EXPECT_TRUE(scrubbed);
    EXPECT_EQ(jobResults_, first.substr(0, jobResults_.size()));
    EXPECT_EQ("MaskedData1\n", readFile(first + "/a.log"));
    ASSERT_EQ(0, scrubLogFilesWrapper(src_, &rules_, &map_, scrubbed, second));
    EXPECT_NE(first, second);  // even within the same second
    registry_.setString("Base", "dJOBRESULTSDIR", "");
    scrubbed = false;
    EXPECT_EQ(-1, scrubLogFilesWrapper(src_, &rules_, &map_, scrubbed, second));
    EXPECT_FALSE(scrubbed);
    EXPECT_EQ(2u, folderEntries(jobResults_).size());
}

}  // namespace
