#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/FileHandle.h"
#include "logselect/EntryFields.h"
#include "logselect/FilteredLogFiles.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"
#include "tooling/LogGenerator.h"

namespace {

using lstest::entry;

class FilteredLogFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registry_.setString("Base", "sPhysicalMachine", "client01");
        registry_.setString("Base", "sClientHostName", "client01.example.test");
        logDir_ = registry_.makeDir("Log_Files");
    }
    void write(const std::string& name, const std::string& lines) {
        testenv::writeFile(logDir_ + "/" + name, lstest::header(lstest::thisYear()) + lines);
    }
    std::string run(long long job, long long tag = 0, const std::string& proxy = "",
                    const std::vector<long long>& jobs = {}) {
        lstest::Dump dump;
        ok_ = getFilteredLogFiles(dump.file(), logDir_.c_str(), job, jobs, 0, 0, "client07", proxy,
                                  "", tag, nullptr, false, nullptr, nullptr);
        return dump.text();
    }
    testenv::RegistryFixture registry_;
    std::string logDir_;
    bool ok_ = false;
};

TEST_F(FilteredLogFilesTest, NothingIsExtractedWithoutAJobOrTag) {
    write("wyd.log", entry("10001", "1", "07/14", "09:00:00", "4711"));
    EXPECT_EQ(run(0, 0, "", {4711}), "");
    EXPECT_TRUE(ok_);
    logDir_ += "/absent";
    EXPECT_EQ(run(4711), "");
    EXPECT_FALSE(ok_);
}

// Rotated copies listed one after another share the workers; the next log starts afresh.
// In each file, a job line of thread 2 makes process 10001 the last one attributed, so the
// no-job line of thread 1 is taken only when thread 1 is still among the workers (in
// wyd_1.log, not in wyma.log, which follows it).
TEST_F(FilteredLogFilesTest, RotatedCopiesShareWorkers) {
    const std::string first = entry("10001", "00001", "07/14", "09:00:00", "4711");
    const std::string own = entry("10001", "00002", "07/14", "09:00:01", "4711");
    const std::string noJob = entry("10001", "00001", "07/14", "09:00:02", "###");
    write("wyd.log", first);
    write("wyd_1.log", own + noJob);
    write("wyma.log", own + noJob);
    write("WyFwd.log", first);  // never filtered
    // Other logs attribute by process: a no-job line of a process that worked for the job in
    // another log (alpha.log) is not taken in beta.log.
    const std::string worker = entry("20001", "00001", "07/14", "09:00:00", "4711");
    const std::string idle = entry("20001", "00001", "07/14", "09:00:03", "###");
    write("alpha.log", worker);
    write("beta.log", idle);
    std::string dump = run(4711);
    EXPECT_EQ(dump, lstest::banner("client07", "alpha.log") + worker +
                        lstest::banner("client07", "wyd.log") + first +
                        lstest::banner("client07", "wyd_1.log") + own + noJob +
                        lstest::banner("client07", "wyma.log") + own);
}

// What cannot be read whole is reported, never passed over in silence; what is not a log of
// this folder (a FIFO, a link leading out of it) is left out without being opened.
TEST_F(FilteredLogFilesTest, UnreadableFilesAreReportedAndOthersLeftOut) {
    const std::string line = entry("10001", "1", "07/14", "09:00:00", "4711");
    write("wyd.log", line);
    write("wyd_2.log.bz2", line);  // plain text under a bzip2 name
    ASSERT_EQ(0, mkfifo((logDir_ + "/wyd_9.log").c_str(), 0600));
    testenv::TempDir elsewhere("ls-secret");
    testenv::writeFile(elsewhere.file("joblike.log"), lstest::header(lstest::thisYear()) + line);
    ASSERT_EQ(0,
              symlink(elsewhere.file("joblike.log").c_str(), (logDir_ + "/zz_link.log").c_str()));
    lstest::Dump dump;
    logselect::ExtractionTally tally;
    ASSERT_TRUE(logselect::extractJobLogs(dump.file(), logDir_.c_str(), 4711, {}, 0, 0, "c7", "",
                                          "", 0, false, nullptr, nullptr, tally));
    EXPECT_EQ(dump.text(), lstest::banner("c7", "wyd.log") + line);
    EXPECT_EQ(tally.unreadable, std::vector<std::string>{"wyd_2.log.bz2"});
    EXPECT_EQ(tally.leftOut, 2u);
    EXPECT_EQ(run(4711), lstest::banner("client07", "wyd.log") + line);
    EXPECT_FALSE(ok_);
}

TEST_F(FilteredLogFilesTest, ReadAndWriteFailuresAreFailures) {
    write("wyd.log", entry("10001", "1", "07/14", "09:00:00", "4711"));
    host::io::injectReadFault(EIO);
    run(4711);
    EXPECT_FALSE(ok_);
    host::io::injectWriteFault(ENOSPC);
    run(4711);
    EXPECT_FALSE(ok_);
    host::io::clearFaults();
    run(4711);
    EXPECT_TRUE(ok_);
    // A time window over a folder that cannot be listed.
    logselect::ExtractionTally tally;
    lstest::Dump sink;
    EXPECT_FALSE(logselect::getWindowFromLogDir(sink.file(), logDir_ + "/absent", 0, 1, "m", "",
                                                false, nullptr, nullptr, tally));
}

// In a scrubbed dump the banners are scrubbed too: the machine's and the file's names.
TEST_F(FilteredLogFilesTest, BannersOfAScrubbedDumpAreScrubbed) {
    write("client07_wyd.log",
          entry("10001", "1", "07/14", "09:00:00", "4711", "[A:0]", "client07"));
    ScrubRuleList rules;
    rules.emplace_back("client07", createIgnoreCaseScrubPatternConfig("client07", false));
    ReplacementMap map{{"client07", "Masked_Host"}};
    lstest::Dump dump;
    getFilteredLogFiles(dump.file(), logDir_.c_str(), 4711, {}, 0, 0, "client07", "", "", 0,
                        nullptr, true, &rules, &map);
    EXPECT_EQ(dump.text(),
              lstest::banner("Masked_Host", "Masked_Host_wyd.log") +
                  entry("10001", "1", "07/14", "09:00:00", "4711", "[A:0]", "Masked_Host"));
}

TEST_F(FilteredLogFilesTest, ProxyClientFilesAreHeadedWithTheRequestedName) {
    const std::string local = entry("10001", "1", "07/14", "09:00:00", "4711", "[A:0]", "local");
    const std::string remote = entry("10001", "1", "07/14", "09:00:00", "4711", "[A:0]", "remote");
    write("wyd.log", local);
    testenv::writeFile(logDir_ + "/proxyClient/5F00/wyd.log",
                       lstest::header(lstest::thisYear()) + remote);
    std::string dump = run(4711, 0, "proxyClient/5F00");
    EXPECT_EQ(dump, lstest::banner("client01.example.test", "wyd.log") + local +
                        lstest::banner("client07", "wyd.log") + remote);
    // Without a proxy folder the local files carry the requested name.
    EXPECT_EQ(run(4711), lstest::banner("client07", "wyd.log") + local);
}

// A whole generated directory: every line taken belongs to the job (or is a no-job line of
// one of its workers), and every line of the job in a filtered log is there, the compressed
// rotated copy included. Requests served at the same time share the one archiver for
// compressed copies, and each gets the result of a request alone.
TEST_F(FilteredLogFilesTest, GeneratedDirectoryYieldsExactlyTheJobsLines) {
    tooling::LogGenOptions options;
    options.seed = 5;
    options.targetBytes = 3 << 20;
    options.machine = "client01";
    std::string error;
    ASSERT_TRUE(tooling::generateLogDirectory(logDir_, options, error)) << error;
    testenv::TempDir tmp("ls-tmp");
    testenv::ScopedEnv tmpdir("TMPDIR", tmp.path());
    // The concurrent requests come first, so that they also race to create the archiver.
    std::vector<std::string> results(4);
    std::vector<std::thread> requests;
    for (std::string& result : results) {
        requests.emplace_back([this, &result] {
            lstest::Dump dump;
            getFilteredLogFiles(dump.file(), logDir_.c_str(), 1002, {}, 0, 0, "client07", "", "", 0,
                                nullptr, false, nullptr, nullptr);
            result = dump.text();
        });
    }
    for (std::thread& t : requests) t.join();
    const std::string dump = run(1002);
    for (const std::string& result : results) EXPECT_EQ(result, dump);
    // On one thread and on several the dump is the same: the parts are written in order.
    for (unsigned threads : {1u, 3u}) {
        lstest::Dump again;
        logselect::ExtractionTally tally;
        ASSERT_TRUE(logselect::extractJobLogs(again.file(), logDir_.c_str(), 1002, {}, 0, 0,
                                              "client07", "", "", 0, false, nullptr, nullptr, tally,
                                              threads));
        EXPECT_TRUE(tally.complete());
        EXPECT_EQ(dump, again.text()) << threads << " threads";
    }
    std::istringstream lines(dump);
    std::string line;
    size_t jobLines = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '@' || line.rfind("Machine : ", 0) == 0 ||
            line.rfind("File    : ", 0) == 0)
            continue;
        logselect::EntryFields f;
        ASSERT_TRUE(logselect::cutEntryFields(line.data(), line.size(), f, logselect::kAllFields))
            << line;
        std::string job(f.job().data, f.job().size);
        ASSERT_TRUE(job == "1002" || job[0] == '#') << line;
        jobLines += job == "1002";
    }
    EXPECT_NE(dump.find("File    : wyd_3.log.bz2"), std::string::npos);
    EXPECT_EQ(dump.find("File    : WyFwd.log"), std::string::npos);
    // Every job line of the uncompressed filtered logs is in the dump.
    size_t expected = 0;
    for (const char* name :
         {"wyd.log", "wyd_1.log", "wyd_2.log", "JobManager.log", "MediaManager.log",
          "MediaManager_1.log", "EvMgrS.log", "clBackup.log", "clBackup_1.log", "FileScan.log",
          "clRestore.log", "ArchiveIndex.log"}) {
        std::istringstream file(testenv::readFile(logDir_ + "/" + name));
        while (std::getline(file, line)) {
            if (line.find(" 1002 1 Main ") == std::string::npos) continue;
            ++expected;
            ASSERT_NE(dump.find(line.substr(0, 16383)), std::string::npos) << name << ": " << line;
        }
    }
    EXPECT_GT(expected, 100u);
    EXPECT_GT(jobLines, expected);  // the compressed copy adds its own
    EXPECT_EQ(testenv::runShell("test -z \"$(ls -A '" + tmp.path() + "')\""), 0);
}

}  // namespace
