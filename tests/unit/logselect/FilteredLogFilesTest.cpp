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

// Rotated copies share the workers, the next log starts afresh: the no-job line of thread 1 is
// taken in wyd_1.log (thread 1 worked in wyd.log) but not in wyma.log.
TEST_F(FilteredLogFilesTest, RotatedCopiesShareWorkers) {
    const std::string first = entry("10001", "00001", "07/14", "09:00:00", "4711");
    const std::string own = entry("10001", "00002", "07/14", "09:00:01", "4711");
    const std::string noJob = entry("10001", "00001", "07/14", "09:00:02", "###");
    write("wyd.log", first);
    write("wyd_1.log", own + noJob);
    write("wyma.log", own + noJob);
    write("WyFwd.log", first);  // never filtered
    // Other logs attribute by process, per log: beta.log's no-job line is not taken.
    const std::string worker = entry("20001", "00001", "07/14", "09:00:00", "4711");
    const std::string idle = entry("20001", "00001", "07/14", "09:00:03", "###");
    write("alpha.log", worker);
    write("beta.log", idle);
    EXPECT_EQ(run(4711), lstest::banner("client07", "alpha.log") + worker +
                             lstest::banner("client07", "wyd.log") + first +
                             lstest::banner("client07", "wyd_1.log") + own + noJob +
                             lstest::banner("client07", "wyma.log") + own);
}

// Unreadable files are reported; a FIFO or a link out of the folder is left out unopened.
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
    for (int fault : {1, 2, 0}) {
        if (fault == 1) host::io::injectReadFault(EIO);
        if (fault == 2) host::io::injectWriteFault(ENOSPC);
        run(4711);
        EXPECT_EQ(fault == 0, ok_) << fault;
        host::io::clearFaults();
    }
    logselect::ExtractionTally tally;
    lstest::Dump sink;
    EXPECT_FALSE(logselect::getWindowFromLogDir(sink.file(), logDir_ + "/absent", 0, 1, "m", "",
                                                false, nullptr, nullptr, tally));
}

// In a scrubbed dump the banners (machine and file names) are scrubbed too.
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
    EXPECT_EQ(run(4711, 0, "proxyClient/5F00"), lstest::banner("client01.example.test", "wyd.log") +
                                                    local + lstest::banner("client07", "wyd.log") +
                                                    remote);
    EXPECT_EQ(run(4711), lstest::banner("client07", "wyd.log") + local);
}

// A generated directory: exactly the job's lines (and its workers' no-job lines), compressed
// copies included; concurrent requests sharing the archiver each get a lone request's result.
TEST_F(FilteredLogFilesTest, GeneratedDirectoryYieldsExactlyTheJobsLines) {
    tooling::LogGenOptions options;
    options.seed = 5;
    options.targetBytes = 3 << 20;
    std::string error;
    ASSERT_TRUE(tooling::generateLogDirectory(logDir_, options, error)) << error;
    testenv::TempDir tmp("ls-tmp");
    testenv::ScopedEnv tmpdir("TMPDIR", tmp.path());
    // The concurrent requests come first, so they also race to create the archiver.
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
