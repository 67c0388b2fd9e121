// The final bundle's compression: name, gunzip round trip, failures that keep the tar file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <random>

#include "bundle/Compression.h"
#include "bundle/GzipMembers.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/Process.h"
#include "support/DescriptorLeakCheck.h"
#include "support/TestEnv.h"

namespace {

TEST(CompressedName, ReplacesTheLastExtensionOfTheFileNameOnly) {
    EXPECT_EQ("/s/logFiles_7.gz", bundle::compressedName("/s/logFiles_7.tar"));
    EXPECT_EQ("/s/a.tar.gz", bundle::compressedName("/s/a.tar.bz2"));
    EXPECT_EQ("/s/bundle.gz", bundle::compressedName("/s/bundle"));
    EXPECT_EQ("/a.b/bundle.gz", bundle::compressedName("/a.b/bundle"));
    EXPECT_EQ("/s/x.gz.gz", bundle::compressedName("/s/x.gz"));
}

class Compression : public ::testing::Test {
  protected:
    void SetUp() override { host::setLogFilePath(dir_.file("library.log")); }
    void TearDown() override {
        host::io::clearFaults();
        host::resetLogSettings();
    }
    std::string sample(size_t size) {
        std::mt19937 rng(7);
        std::string text;
        while (text.size() < size)
            text += "12345 67890 03/15 10:22:" + std::to_string(rng() % 60) + " job " +
                    std::to_string(rng() % 5000) + " transfer of chunk " + std::to_string(rng()) +
                    " done\n";
        return text;
    }
    testenv::TempDir dir_;
};

TEST_F(Compression, GunzipReadsTheMembersBackWhole) {
    const std::string tar = dir_.file("logFiles_1.tar");
    const std::string text = sample((5u << 20) / 2);  // three members of 1 MiB
    testenv::writeFile(tar, text);
    char path[1024];
    snprintf(path, sizeof path, "%s", tar.c_str());
    ASSERT_TRUE(compressTarFile(path));
    EXPECT_EQ(dir_.file("logFiles_1.gz"), path);
    EXPECT_FALSE(testenv::exists(tar));
    struct stat st;
    ASSERT_EQ(0, stat(path, &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    EXPECT_TRUE(testenv::output("gunzip -c " + host::shellQuote(path)) == text);
    EXPECT_LT(st.st_size, static_cast<off_t>(text.size() / 2));
    EXPECT_FALSE(testenv::exists(dir_.file("library.log")));  // nothing went wrong

    // An empty bundle still gives a gzip file.
    const std::string empty = dir_.file("empty.tar");
    testenv::writeFile(empty, "");
    snprintf(path, sizeof path, "%s", empty.c_str());
    ASSERT_TRUE(compressTarFile(path));
    EXPECT_EQ(0, testenv::runShell("gunzip -t " + host::shellQuote(path)));
}

TEST_F(Compression, AFailedWriteLeavesOnlyTheTarFile) {
    const std::string tar = dir_.file("logFiles_2.tar");
    testenv::writeFile(tar, sample(3u << 20));
    char path[1024];
    snprintf(path, sizeof path, "%s", tar.c_str());
    host::io::injectWriteFault(ENOSPC, 100);
    EXPECT_FALSE(compressTarFile(path));
    EXPECT_EQ(tar, path);
    EXPECT_TRUE(testenv::exists(tar));
    EXPECT_FALSE(testenv::exists(dir_.file("logFiles_2.gz")));

    snprintf(path, sizeof path, "%s", dir_.file("missing.tar").c_str());
    EXPECT_FALSE(compressTarFile(path));
    EXPECT_TRUE(
        testenv::contains(testenv::readFile(dir_.file("library.log")), "couldn't open tarFile"));
}

TEST_F(Compression, CompressFileNamesTheGzipCopy) {
    const std::string source = dir_.file("a b.log");
    testenv::writeFile(source, "text\n");
    char target[1024] = "";
    ASSERT_TRUE(compressFile(source.c_str(), target));
    EXPECT_EQ(source + ".gz", target);
    EXPECT_TRUE(testenv::exists(source + ".gz"));
    EXPECT_FALSE(compressFile(source.c_str(), nullptr));  // gone now: gzip fails
    EXPECT_FALSE(compressFile("", target));
    EXPECT_FALSE(compressFile(nullptr, target));
    EXPECT_FALSE(compressFile(("/" + std::string(130, 'x')).c_str(), target));
}

}  // namespace
