// The receiving end of "collect": names, refusals, no overwriting, damaged files, records.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "collector/infoNLogsCollector.h"
#include "host/Net.h"
#include "support/TestEnv.h"
#include "tooling/ReplyWriter.h"

namespace fs = std::filesystem;

namespace {

host::ReplyRecord record(uint32_t code, uint32_t tag, const std::string& data) {
    return {code, 0, {{tag, data}}};
}

host::ReplyRecord bundleName(const std::string& name) {
    return record(REPLY_BUNDLE_NAME_CODE, REPLY_BUNDLE_NAME_TAG, name);
}

host::StreamedFileInfo whole(const std::string& name, size_t size) {
    return {name, size, size, 0x1234, 0x1234, true};
}

// Sends one file through the sink interface as the decoder would (whole, unless info says).
void deliver(tooling::ReplyWriter& w, const std::string& name, const std::string& data,
             const host::StreamedFileInfo* info = nullptr) {
    const host::StreamedFileInfo end = info ? *info : whole(name, data.size());
    ASSERT_TRUE(w.onFileBegin(name, end.declaredSize));
    ASSERT_TRUE(w.onFileData(data.data(), data.size()));
    w.onFileEnd(end);
}

class ReplyWriterTest : public ::testing::Test {
  protected:
    testenv::TempDir scratch_{"reply-writer"};
    std::string out_ = scratch_.mkdir("out");
    std::ostringstream report_;
    tooling::ReplyWriter writer_{out_, report_, nullptr};
};

TEST_F(ReplyWriterTest, NamesAFileAfterThePrecedingBundleRecordOnly) {
    writer_.onRecord(bundleName("host1_logs.tar.gz"));
    deliver(writer_, "logFiles_17.gz", "bundle bytes");
    deliver(writer_, "1001_17.log", "job log");
    writer_.finish();

    EXPECT_EQ(testenv::folderEntries(out_),
              (std::vector<std::string>{"1001_17.log", "host1_logs.tar.gz"}));
    EXPECT_EQ(testenv::readFile(out_ + "/host1_logs.tar.gz"), "bundle bytes");
    EXPECT_TRUE(writer_.problems().empty());
    EXPECT_EQ(writer_.bytesWritten(), 19u);
}

TEST_F(ReplyWriterTest, RefusesUnsafeNamesAndStaysInsideTheFolder) {
    for (const std::string bad : {"../evil", "a/b", "..", "", "x..y"}) {
        writer_.onRecord(bundleName(bad));
        deliver(writer_, "logFiles_1.gz", "data");
    }
    // A streamed name the decoder should never produce is refused too, and not written.
    deliver(writer_, "../escape.log", "data");
    writer_.finish();

    EXPECT_EQ(writer_.problems().size(), 6u);
    EXPECT_EQ(writer_.written().size(), 5u);
    for (const std::string& path : writer_.written())
        EXPECT_EQ(fs::path(path).parent_path().string(), out_);
    EXPECT_EQ(testenv::folderEntries(scratch_.path()), std::vector<std::string>{"out"});
    EXPECT_NE(writer_.problems().front().find("refused the unsafe bundle name"), std::string::npos);
}

TEST_F(ReplyWriterTest, NeverOverwritesAnExistingFile) {
    testenv::writeFile(out_ + "/host1_logs.tar.gz", "earlier bundle");
    for (const char* data : {"second", "third"}) {
        writer_.onRecord(bundleName("host1_logs.tar.gz"));
        deliver(writer_, "logFiles_1.gz", data);
    }
    testenv::writeFile(out_ + "/README", "mine");
    deliver(writer_, "README", "theirs");

    for (const auto& [name, text] : {std::pair{"host1_logs.tar.gz", "earlier bundle"},
                                     {"host1_logs-1.tar.gz", "second"},
                                     {"host1_logs-2.tar.gz", "third"},
                                     {"README", "mine"},
                                     {"README-1", "theirs"}})
        EXPECT_EQ(testenv::readFile(out_ + "/" + name), text);
    EXPECT_TRUE(writer_.problems().empty());
}

TEST_F(ReplyWriterTest, DropsDamagedAndUnfinishedFiles) {
    host::StreamedFileInfo badCrc = whole("a.log", 4);
    badCrc.receivedCrc = 0x9999;
    deliver(writer_, "a.log", "abcd", &badCrc);

    host::StreamedFileInfo shortFile = whole("b.log", 4);
    shortFile.declaredSize = 10;
    deliver(writer_, "b.log", "abcd", &shortFile);

    ASSERT_TRUE(writer_.onFileBegin("c.log", 100));
    ASSERT_TRUE(writer_.onFileData("partial", 7));
    writer_.finish();  // the stream ended inside c.log

    EXPECT_TRUE(writer_.written().empty());
    EXPECT_TRUE(testenv::folderEntries(out_).empty()) << "no temporary file may remain";
    ASSERT_EQ(writer_.problems().size(), 3u);
    EXPECT_NE(writer_.problems()[0].find("damaged file \"a.log\""), std::string::npos);
    EXPECT_NE(writer_.problems()[1].find("received 4 of 10 bytes"), std::string::npos);
    EXPECT_NE(writer_.problems()[2].find("ended inside file \"c.log\""), std::string::npos);
}

TEST_F(ReplyWriterTest, CountsFailureRecordsAndDescribesRecordsReadably) {
    writer_.onRecord(
        record(REPLY_VERSION_CODE, REPLY_VERSION_TAG, std::string(4, '\0') + "11.32.4"));
    const uint32_t when = htonl(86400);
    writer_.onRecord(record(REPLY_TIME_CODE, REPLY_TIME_TAG,
                            std::string(reinterpret_cast<const char*>(&when), 4)));
    writer_.onRecord({0, 1, {}});  // a failure

    EXPECT_EQ(writer_.failureRecords(), 1);
    const std::string text = report_.str();
    for (const char* part :
         {"product version: 11.32.4\n", "client time: ", "(86400)", "request status: failure"})
        EXPECT_NE(text.find(part), std::string::npos) << part << text;
    // Control characters from the peer never reach the terminal as such.
    EXPECT_EQ(tooling::describeRecord(bundleName("a\x1b[2Jb")), "bundle name: a\\x1B[2Jb");
}

}  // namespace
