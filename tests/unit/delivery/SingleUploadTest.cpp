// Single-file uploads: parameter checks, gateway call order, and each failure's log lines.
#include "DeliveryFixture.h"
#include "delivery/Upload.h"

using namespace testenv;

namespace {

using deliverytest::DeliveryTest;
using Names = std::vector<std::string>;

const char* const kUrl = "ftp://127.0.0.1:1/";

TEST_F(DeliveryTest, FtpCallOrderFollowsTheTransferMode) {
    record();
    ASSERT_EQ(uploadWithFtp(kUrl, "u", "pw", 1, "c7", "/tmp/f"), 0);
    EXPECT_EQ(names(), (Names{"create", "initialize", "setURL", "setURLUserName", "setURLPassword",
                              "setCorvaneID", "disableActiveMode", "connect", "uploadFile",
                              "disConnet", "destroy"}));
    EXPECT_EQ(calls_[1].args, (Names{"1", "2"}));
    EXPECT_EQ(calls_[8].args, (Names{"/tmp/f", "c7"}));

    calls_.clear();
    ASSERT_EQ(uploadWithFtp(kUrl, "u", "pw", 0, "c7", "/tmp/f"), 0);
    EXPECT_EQ(count("disableActiveMode"), 0);
    ASSERT_EQ(count("setActiveMode"), 1);
    EXPECT_EQ(calls_[6].args, (Names{"", ""}));
}

TEST_F(DeliveryTest, MissingParametersAreReportedInTheirOrder) {
    record();
    struct Case {
        int result;
        const char* message;
    };
    const char* f = "/tmp/f";
    std::vector<Case> cases = {
        {uploadWithFtp(nullptr, nullptr, "p", 1, "c", f), "ftpUploadUrl isn't set"},
        {uploadWithFtp(kUrl, nullptr, nullptr, 1, "c", f), "ftpUploadUrlUser isn't set"},
        {uploadWithFtp(kUrl, "u", nullptr, 1, nullptr, f), "ftpUploadUrlPassword isn't set"},
        {uploadWithFtp(kUrl, "u", "p", 1, nullptr, nullptr), "corvaneID isn't set"},
        {uploadWithFtp(kUrl, "u", "p", 1, "c", nullptr), "ftp upload path isn't set"},
        // HTTP checks from the last parameter backwards.
        {uploadWithHttp(nullptr, "u", "p", "h", "c", 0, nullptr), "upload file path isn't set"},
        {uploadWithHttp(nullptr, "u", "p", "h", nullptr, 0, f), "corvaneID isn't set"},
        {uploadWithHttp(nullptr, "u", "p", nullptr, "c", 0, f), "httpUploadUrlHandler isn't set"},
        {uploadWithHttp(nullptr, "u", nullptr, "h", "c", 0, f), "httpUploadUrlPassword isn't set"},
        {uploadWithHttp(nullptr, nullptr, "p", "h", "c", 0, f), "httpUploadUrlUser isn't set"},
        {uploadWithHttp(nullptr, "u", "p", "h", "c", 0, f), "httpUploadUrl isn't set"},
    };
    std::vector<std::string> lines;
    for (const std::string& line : splitLines(log()))
        if (line.find("isn't set") != std::string::npos) lines.push_back(line);
    ASSERT_EQ(lines.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].result, -1);
        EXPECT_TRUE(contains(lines[i], cases[i].message)) << cases[i].message;
    }
    EXPECT_TRUE(calls_.empty()) << "no gateway for a call that lacks a parameter";
}

TEST_F(DeliveryTest, FtpFailuresEndTheCallWithTheTransferError) {
    record();
    fail("initialize", 1);
    EXPECT_EQ(uploadWithFtp(kUrl, "u", "pw", 1, "c", "/tmp/f"), -1);
    EXPECT_EQ(names(), (Names{"create", "initialize", "destroy"}));
    EXPECT_TRUE(contains(log(),
                         "Lib curl wrapper initialization failed. Error Code [7], Error Message "
                         "[arranged failure]"));

    for (const char* step : {"disableActiveMode", "setActiveMode"}) {
        calls_.clear();
        fail(step, 1);
        EXPECT_EQ(uploadWithFtp(kUrl, "u", "pw", step[0] == 'd', "c", "/tmp/f"), -1);
        EXPECT_EQ(count("connect"), 0);
    }
    EXPECT_TRUE(contains(log(), "FTP passive mode failed to initialize. Error Code [7]"));
    EXPECT_TRUE(contains(log(), "FTP Active mode failed to initialize. Error Code [7]"));

    calls_.clear();
    fail("connect", 1);
    EXPECT_EQ(uploadWithFtp(kUrl, "u", "pw", 1, "c", "/tmp/f"), -1);
    EXPECT_EQ(names().back(), "destroy");
    EXPECT_EQ(count("disConnet"), 1);
    EXPECT_EQ(count("uploadFile"), 0);
    EXPECT_TRUE(contains(log(), "Failed to establish ftp connection. Error Code [7]"));

    fail("uploadFile", 1);
    EXPECT_EQ(uploadWithFtp("ftp://user:hidden@h/", "u", "pw", 1, "c", "/tmp/f"), -1);
    EXPECT_TRUE(contains(log(),
                         "Failed to upload file [/tmp/f] to [ftp://***@h/]. Error Code [7], Error "
                         "Message [arranged failure]"));
    EXPECT_FALSE(contains(log(), "hidden"));
}

// (A proxy's refusal, 407, is named by the transfer test through a real proxy.)
TEST_F(DeliveryTest, HttpFailuresEndTheCallWithTheTransferError) {
    record();
    fail("uploadFile", 1, "Response code from server: [500]");
    EXPECT_EQ(uploadWithHttp("http://h/", "u", "pw", "h", "c", 0, "/tmp/f"), -1);
    EXPECT_TRUE(contains(log(), "Failed to upload file [/tmp/f] to [http://h/]. Error Code [7]"));

    calls_.clear();
    fail("connect", 1);
    EXPECT_EQ(uploadWithHttp("http://h/", "u", "pw", "h", "c", 0, "/tmp/f"), -1);
    EXPECT_EQ(count("uploadFile"), 0);
    EXPECT_TRUE(contains(log(), "Failed to establish http connection. Error Code [7]"));
}

}  // namespace
