#include <gtest/gtest.h>

#include <list>
#include <string>

#include "logselect/JobFilter.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"

namespace {

using lstest::entry;

class JobFilterTest : public ::testing::Test {
  protected:
    void write(const std::string& name, const std::string& lines) {
        testenv::writeFile(dir_.file(name), lstest::header(lstest::thisYear()) + lines);
    }
    // The service-log filter, or the other-log filter with serviceLog false.
    std::string service(const std::string& name, long long job, long long tag = 0,
                        const std::string& search = "", time_t from = 0, time_t to = 0,
                        bool serviceLog = true) {
        lstest::Dump dump;
        std::list<std::string> workers;
        auto* filter = serviceLog ? &getServiceLogsByJobId : &getNonServiceLogsByJobId;
        ok_ = filter(dump.file(), dir_.path(), name, workers, job, {}, "m1", tag, search, from, to,
                     false, nullptr, nullptr);
        return dump.text();
    }
    std::string other(const std::string& name, long long job) {
        return service(name, job, 0, "", 0, 0, false);
    }

    testenv::TempDir dir_{"ls-job"};
    bool ok_ = false;
};

// A file without taken lines leaves no trace, not even a banner; a missing one is a failure.
TEST_F(JobFilterTest, SearchTextIsCaseInsensitive) {
    const std::string a = entry("10001", "00001", "07/14", "09:00:00", "4711", "[A:0]", "ERROR x");
    const std::string b = entry("10001", "00001", "07/14", "09:00:01", "4711", "[A:0]", "fine");
    write("wyd.log", a + b);
    EXPECT_EQ(service("wyd.log", 4711, 0, "error"), lstest::banner("m1", "wyd.log") + a);
    EXPECT_EQ(service("wyd.log", 4711, 0, "nowhere"), "");
    EXPECT_TRUE(ok_);
    EXPECT_EQ(other("missing.log", 4711), "");
    EXPECT_FALSE(ok_);
}

// A file of another year is read whole, the line ending exactly at its size included.
TEST_F(JobFilterTest, WindowOverAFileOfLastYearKeepsItsLastLine) {
    const std::string a = entry("10001", "00001", "12/31", "23:00:00", "4711");
    const std::string b = entry("10001", "00001", "01/01", "01:00:00", "4711");
    testenv::writeFile(dir_.file("wyd.log"), lstest::header(lstest::thisYear() - 1) + a + b);
    EXPECT_EQ(service("wyd.log", 4711, 0, "", 1000, 2000), lstest::banner("m1", "wyd.log") + a + b);
}

TEST_F(JobFilterTest, JobListAndByteWindowOfDumpJobInfo) {
    const std::string a = entry("20001", "1", "07/14", "09:00:00", "1", "0");
    const std::string b = entry("20002", "1", "07/14", "09:00:01", "2", "0");
    const std::string c = entry("20003", "1", "07/14", "09:00:02", "3", "0");
    const std::string d = entry("20004", "1", "07/14", "09:00:03", "2", "0");
    testenv::writeFile(dir_.file("x.log"), a + b + c + d);
    FILE* in = fopen(dir_.file("x.log").c_str(), "r");
    lstest::Dump dump;
    std::list<std::string> workers;
    // Window [start of b, end of c]: a line ending exactly at the end offset is still read.
    const long long start = a.size(), end = a.size() + b.size() + c.size();
    EXPECT_TRUE(DumpJobInfo(dump.file(), in, 3, {2, 1}, workers, "x.log", "m1", 0, "", start, end,
                            false, nullptr, nullptr));
    fclose(in);
    EXPECT_EQ(dump.text(), lstest::banner("m1", "x.log") + b + c);
}

TEST_F(JobFilterTest, UnknownFormatsPassWithoutHarm) {
    for (const char* name : {"Apache_2k.log", "HDFS_2k.log", "Linux_2k.log", "OpenSSH_2k.log"}) {
        std::string source = std::string(SENDLOGS_SHARED_DATA_DIR) + "/loghub/" + name;
        if (!testenv::exists(source)) continue;
        testenv::writeFile(dir_.file(name), testenv::readFile(source));
        EXPECT_EQ(other(name, 148), "") << name;
        EXPECT_TRUE(ok_);
        EXPECT_EQ(service(name, 148), "") << name;
    }
}

}  // namespace
