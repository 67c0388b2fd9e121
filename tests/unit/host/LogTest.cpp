#include <gtest/gtest.h>

#include <atomic>
#include <boost/regex.hpp>
#include <cstdio>
#include <thread>

#include "host/Log.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"

using namespace testenv;

namespace {

const boost::regex kEntry(
    R"(^ *\d+ +\d+ \d\d/\d\d \d\d:\d\d:\d\d ### (ERROR|DEBUG|DBG\d+) sendlogs \[A:0\] .*$)");

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override { host::resetLogSettings(); }
    void TearDown() override { host::resetLogSettings(); }

    std::vector<std::string> entries() const {
        std::vector<std::string> out;
        for (const auto& line : splitLines(readFile(logFile)))
            if (!line.empty() && line[0] != '*') out.push_back(line);
        return out;
    }

    TempDir dir;
    std::string logFile = dir.file("lib.log");
    ScopedEnv file{"SENDLOGS_LOG_FILE", logFile};
    ScopedEnv level{"SENDLOGS_LOG_LEVEL"};
};

}  // namespace

// Both formats in a fixed zone (1700000000 is 2023-11-14 22:13:20 UTC).
TEST(LogFormat, EntryLineAndHeaderKeepTheProductsColumns) {
    lstest::ScopedZone utc("UTC");
    EXPECT_EQ(host::formatEntryLine(123, 45, 1700000000, "###", "ERROR", "sendlogs", "[A:0]",
                                    "tag: text"),
              "00123 00045 11/14 22:13:20 ### ERROR sendlogs [A:0] tag: text");
    const std::string rule = "* " + std::string(62, '=') + "\n";
    EXPECT_EQ(host::formatLogFileHeader("Svc", "client01", 1700000000),
              rule +
                  "* Service    : Svc\n* Hubmaster  : -\n* Machine    : client01\n"
                  "* IP Addrs   : -\n* Date       : 2023/11/14 22:13:20 Log started\n"
                  "* Date       : 2023/11/14 22:13:20 Log file created\n"
                  "* MACHINE name : client01\n" +
                  rule);
}

TEST_F(LogTest, WritesHeaderThenOneLinePerMessageWithLevels) {
    ScopedEnv lvl("SENDLOGS_LOG_LEVEL", "3");
    EvDebug log;
    log.Error("tagE", "error %d", 1);
    log.DebugLvl("tagD", 3, "kept %s", "three");
    log.DebugLvl("tagD", 6, "dropped");
    log.Debug("tagP", "plain");
    g_ptrLogWriter->Write(2, "writerFn", "via writer %d", 2);

    std::string text = readFile(logFile);
    ASSERT_EQ(text.rfind("* ", 0), 0u);
    auto lines = entries();
    ASSERT_EQ(lines.size(), 4u) << text;
    EXPECT_TRUE(contains(lines[0], " ERROR sendlogs [A:0] tagE: error 1"));
    EXPECT_TRUE(contains(lines[1], " DBG3 sendlogs [A:0] tagD: kept three"));
    EXPECT_TRUE(contains(lines[2], " DEBUG sendlogs [A:0] tagP: plain"));
    EXPECT_TRUE(contains(lines[3], "writerFn: via writer 2"));
}

TEST_F(LogTest, ThresholdComesFromTheRegistryThenTheDefault) {
    EvDebug log;
    log.DebugLvl("t", 5, "default five is kept");
    log.DebugLvl("t", 6, "six is not");
    {
        RegistryFixture registry;
        registry.setNumber("EventManager", "nDebugLevel", 10);
        EXPECT_EQ(host::logLevel(), 10);
        log.DebugLvl("t", 10, "ten with registry level");
    }
    host::setLogLevel(0);
    log.DebugLvl("t", 2, "dropped by explicit level");
    log.Error("t", "errors always");
    auto lines = entries();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(contains(lines[0], "default five"));
    EXPECT_TRUE(contains(lines[1], "ten with registry"));
    EXPECT_TRUE(contains(lines[2], "errors always"));
}

TEST_F(LogTest, NewlinesAreFoldedAndLongMessagesCut) {
    EvDebug log;
    log.Error("multi", "first\nsecond\r\nthird\n");
    std::string huge(100000, 'x');
    log.Error("huge", "%s", huge.c_str());
    std::string accents;
    for (int i = 0; i < 20000; ++i) accents += "\xc3\xa9";  // two-byte characters
    log.Error("utf8", "%s", accents.c_str());
    // A message of 15 KiB is kept whole; one byte more is cut.
    const std::string fits(15 * 1024, 'f');
    log.Error("", "%s", fits.c_str());
    log.Error("", "%s", (fits + "+").c_str());
    auto lines = entries();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(contains(lines[0], "multi: first\\nsecond\\r\\nthird"));
    EXPECT_EQ(lines[0].back(), 'd');  // the trailing newline is dropped, not escaped
    EXPECT_LT(lines[1].size(), 16383u);
    EXPECT_TRUE(contains(lines[1], "[truncated]"));
    // Cut on a character boundary: the text before the marker ends with a whole character.
    size_t marker = lines[2].find(" ...[truncated]");
    ASSERT_NE(marker, std::string::npos);
    EXPECT_EQ(lines[2].substr(marker - 2, 2), "\xc3\xa9");
    EXPECT_TRUE(lines[3].substr(lines[3].find("[A:0]")) == "[A:0] " + fits);  // no tag either
    EXPECT_TRUE(contains(lines[4], "] " + fits + " ...[truncated]"));
}

TEST_F(LogTest, EmptyPathDiscardsAndRegistryLogDirIsTheDefault) {
    {
        ScopedEnv discard("SENDLOGS_LOG_FILE", "");
        EXPECT_EQ(host::logFilePath(), "");
        EvDebug().Error("t", "nowhere");
    }
    EXPECT_FALSE(exists(logFile));

    ScopedEnv unset("SENDLOGS_LOG_FILE");
    RegistryFixture registry;
    std::string logDir = registry.makeDir("Log Files");
    registry.setString("EventManager", "dEVLOGDIR", logDir);
    EXPECT_EQ(host::logFilePath(), logDir + "/SendLogFiles.log");
    EvDebug().Error("t", "into the product log dir");
    EXPECT_TRUE(contains(readFile(logDir + "/SendLogFiles.log"), "into the product log dir"));
}

TEST_F(LogTest, ConcurrentWritersProduceWholeLines) {
    const int threads = 8, perThread = 300;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([t] {
            EvDebug log;
            std::string filler(500 + t * 100, static_cast<char>('a' + t));
            for (int i = 0; i < perThread; ++i)
                log.Error("worker", "%d %d %s", t, i, filler.c_str());
        });
    for (auto& th : pool) th.join();
    auto lines = entries();
    ASSERT_EQ(lines.size(), static_cast<size_t>(threads * perThread));
    std::vector<int> counts(threads);
    for (const auto& line : lines) {
        ASSERT_TRUE(boost::regex_match(line, kEntry)) << line.substr(0, 120);
        int t = -1, i = -1;
        size_t at = line.find("worker: ");
        ASSERT_NE(at, std::string::npos);
        ASSERT_EQ(std::sscanf(line.c_str() + at + 8, "%d %d", &t, &i), 2);
        ASSERT_EQ(line.size() - line.rfind(' ') - 1, static_cast<size_t>(500 + t * 100));
        ++counts[t];
    }
    for (int c : counts) EXPECT_EQ(c, perThread);
}
