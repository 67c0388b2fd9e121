// Uploads in parts: what split makes, attempts per part, waits, and no part left afterwards.
#include "DeliveryFixture.h"
#include "delivery/Upload.h"

namespace {

using deliverytest::DeliveryTest;
using deliverytest::kMiB;
using deliverytest::makeFile;
using deliverytest::options;

class CloudUploadTest : public DeliveryTest {
  protected:
    std::vector<std::string> entries() { return testenv::folderEntries(folder_); }
    std::vector<std::string> uploaded() {
        std::vector<std::string> out;
        for (const auto& c : calls_)
            if (c.name == "uploadFile") out.push_back(c.args[0]);
        return out;
    }
    std::string folder_ = dir_.mkdir("out");
};

TEST_F(CloudUploadTest, PartFailingThreeTimesStopsTheUploadAndRemovesEveryPart) {
    record();
    makeFile(folder_ + "/b", 3 * kMiB);
    // The first part goes up; the second fails every attempt; the third is never tried.
    MsgInternetOptions o = options(1, "ftp://127.0.0.1:1/", 1);
    fail("uploadFile", 1000, "", ".part-ab");
    EXPECT_EQ(uploadToCloud(&o, folder_ + "/", "b"), -1);
    std::vector<std::string> parts = uploaded();
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_TRUE(testenv::contains(parts[0], "b.part-aa"));
    for (size_t i = 1; i < 4; ++i) EXPECT_TRUE(testenv::contains(parts[i], "b.part-ab"));
    EXPECT_EQ(sleeps_.size(), 3u) << "a wait after each failed attempt, the third too";
    EXPECT_EQ(entries(), std::vector<std::string>{"b"});
    EXPECT_TRUE(testenv::contains(log(), "Failed to upload [" + folder_ + "//b.part-ab]"));
}

TEST_F(CloudUploadTest, NamesWithBlanksAndShellSyntaxAreQuoted) {
    record();
    const std::string name = "my bundle $(touch pwned) 'x'.tar";
    const std::string data = makeFile(folder_ + "/" + name, 2 * kMiB + 5);
    makeFile(folder_ + "/other.tar.part-aa", 10);  // another upload's part stays alone
    MsgInternetOptions o = options(1, "ftp://127.0.0.1:1/", 1);
    EXPECT_EQ(uploadToCloud(&o, folder_ + "/", name), 0);
    EXPECT_EQ(uploaded().size(), 3u);
    EXPECT_EQ(entries(), (std::vector<std::string>{name, "other.tar.part-aa"}));
    EXPECT_FALSE(testenv::exists(folder_ + "/pwned"));
    EXPECT_FALSE(testenv::exists("pwned"));
    EXPECT_EQ(testenv::readFile(folder_ + "/" + name), data);
}

TEST_F(CloudUploadTest, FailedSplitIsAFailureNotAnEmptySuccess) {
    record();
    MsgInternetOptions o = options(1, "ftp://127.0.0.1:1/", 1);
    EXPECT_EQ(uploadToCloud(&o, folder_ + "/", "missing.tar"), -1);
    EXPECT_TRUE(uploaded().empty());
    EXPECT_TRUE(testenv::contains(log(), "split of [" + folder_ + "/missing.tar] failed"));

    makeFile(folder_ + "/b", 10);
    o.partSizeMb = 0;
    EXPECT_EQ(uploadToCloud(&o, folder_ + "/", "b"), -1);
    o.partSizeMb = 1;
    memset(o.uploadUrl, 'x', sizeof o.uploadUrl);
    EXPECT_EQ(uploadToCloud(&o, folder_ + "/", "b"), -1);
    EXPECT_EQ(uploadToCloud(nullptr, folder_ + "/", "b"), -1);
    EXPECT_TRUE(uploaded().empty());
    EXPECT_EQ(entries(), std::vector<std::string>{"b"});
}

}  // namespace
