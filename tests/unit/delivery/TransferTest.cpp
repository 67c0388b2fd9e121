// Real transfers to loopback servers (FTP, HTTP(S), proxy, refusing and failing ones);
// what arrives is compared byte for byte with the source, parts put back together.
#include <algorithm>

#include "DeliveryFixture.h"
#include "delivery/Upload.h"
#include "host/File.h"
#include "support/UploadPeers.h"

using namespace testenv;

namespace {

using deliverytest::DeliveryTest;
using deliverytest::kMiB;
using deliverytest::makeFile;
using deliverytest::options;

class TransferTest : public DeliveryTest {
  protected:
    // The parts that arrived in folder, in name order, joined.
    static std::string reassemble(const std::string& folder, const std::string& name,
                                  size_t& parts) {
        std::vector<std::string> found;
        FXFile::GetMatchingFiles(folder, name + ".part-*", found, false);
        std::string data;
        for (const auto& path : found) data += readFile(path);
        parts = found.size();
        return data;
    }
    // The peers' user is the one options() names.
    static MsgInternetOptions opts(int protocol, const std::string& url,
                                   const char* pw = peers::kPassword) {
        return options(protocol, url, 1, pw);
    }
    // An HTTP upload of a file of local_ as corvane id "c".
    int http(const std::string& url, const std::string& file, int secured) {
        return uploadWithHttp(url.c_str(), peers::kUser, peers::kPassword, "upload", "c", secured,
                              (local_ + "/" + file).c_str());
    }
    void expectNoSecretInLog() {
        EXPECT_FALSE(contains(log(), peers::kPassword));
        EXPECT_FALSE(contains(log(), "proxy-secret"));
    }
    std::string local_ = dir_.mkdir("local");
    std::string remote_ = dir_.mkdir("remote");
};

TEST_F(TransferTest, FtpPassiveAndActiveDeliverEveryPartWhole) {
    peers::FtpPeer server(remote_);
    ASSERT_TRUE(server.running()) << server.error();
    const std::string data = makeFile(local_ + "/bundle.tar", 2 * kMiB + 12345);
    for (int passive : {1, 0}) {
        MsgInternetOptions o = opts(1, server.url());
        o.ftpPassive = passive;
        ASSERT_EQ(uploadToCloud(&o, local_ + "/", "bundle.tar"), 0) << log();
        size_t parts = 0;
        EXPECT_EQ(reassemble(remote_ + "/corvane7", "bundle.tar", parts), data);
        EXPECT_EQ(parts, 3u);
        EXPECT_FALSE(exists(local_ + "/bundle.tar.part-aa"));
        EXPECT_EQ(readFile(local_ + "/bundle.tar"), data);
        removeTree(remote_ + "/corvane7");
    }
    EXPECT_EQ(errorLines(log()), "");
    EXPECT_TRUE(contains(log(), "Sent 1048576 of 1048576 bytes of")) << "progress reaches the log";
    expectNoSecretInLog();
}

TEST_F(TransferTest, HttpServerFailingTwiceIsRetriedUntilItAccepts) {
    peers::HttpPeer server(remote_, 2);
    ASSERT_TRUE(server.running()) << server.error();
    const std::string data = makeFile(local_ + "/b.tgz", 300000);
    MsgInternetOptions o = opts(0, server.url());
    ASSERT_EQ(uploadToCloud(&o, local_ + "/", "b.tgz"), 0) << log();
    EXPECT_EQ(readFile(remote_ + "/corvane7/b.tgz.part-aa"), data);
    EXPECT_EQ(sleeps_, (std::vector<unsigned long>{10000, 10000}));
    EXPECT_TRUE(contains(log(), "Response code from server: [503]"));
    expectNoSecretInLog();
}

TEST_F(TransferTest, HttpsUploadTrustsTheConfiguredAuthority) {
    ASSERT_TRUE(peers::makeCertificate(dir_.path()));
    peers::HttpPeer server(remote_, 0, {dir_.file("cert.pem"), dir_.file("key.pem")});
    ASSERT_TRUE(server.running()) << server.error();
    const std::string data = makeFile(local_ + "/s.bin", 70000);
    // Secured: the http:// address is taken as https://. Unknown authority first.
    EXPECT_EQ(http(server.url(), "s.bin", 1), -1);
    registry_.setString("InternetOptions", "sCAFile", dir_.file("cert.pem"));
    ASSERT_EQ(http(server.url(), "s.bin", 1), 0) << log();
    EXPECT_EQ(readFile(remote_ + "/c/s.bin"), data);
}

TEST_F(TransferTest, ProxyRefusingTheCredentialsIsReportedAndAcceptedOnesPassThrough) {
    peers::HttpPeer server(remote_);
    peers::ProxyPeer proxy;
    ASSERT_TRUE(server.running() && proxy.running()) << server.error() << proxy.error();
    const std::string data = makeFile(local_ + "/p.bin", 2 * kMiB);  // large: Expect: 100
    const std::string small = makeFile(local_ + "/q.bin", 1000);     // small: body at once
    registry_.setString("InternetOptions", "sProxyURL", proxy.url());
    registry_.setString("InternetOptions", "sProxyUser", peers::kUser);
    registry_.setString("InternetOptions", "sProxyPassword", "proxy-secret");
    for (const char* file : {"p.bin", "q.bin"}) EXPECT_EQ(http(server.url(), file, 0), -1);
    EXPECT_TRUE(contains(log(), "Failed to upload file[" + local_ + "/q.bin] to[" + server.url() +
                                    "].Error[Proxy Authentication Required / Incorrect]"))
        << log();
    EXPECT_TRUE(contains(log(), "/p.bin] to[" + server.url() + "].Error[Proxy Authentication"));
    expectNoSecretInLog();

    registry_.setString("InternetOptions", "sProxyPassword", peers::kPassword);
    ASSERT_EQ(http(server.url(), "p.bin", 0), 0) << log();
    EXPECT_EQ(readFile(remote_ + "/c/p.bin"), data);
}

TEST_F(TransferTest, RefusingServerStopsTheUploadAndRemovesEveryPart) {
    peers::FtpPeer server(remote_);
    ASSERT_TRUE(server.running()) << server.error();
    makeFile(local_ + "/r.tar", 2 * kMiB);
    MsgInternetOptions o = opts(1, server.url(), "wrong-password");
    EXPECT_EQ(uploadToCloud(&o, local_ + "/", "r.tar"), -1);
    EXPECT_EQ(sleeps_.size(), 3u);
    EXPECT_TRUE(contains(log(), "Failed to establish ftp connection. Error Code [67]"))
        << "login denied";
    EXPECT_FALSE(exists(local_ + "/r.tar.part-aa"));
    EXPECT_FALSE(exists(local_ + "/r.tar.part-ab"));
    EXPECT_TRUE(exists(local_ + "/r.tar"));
}

TEST_F(TransferTest, ServerWithAFullDiskStopsTheUploadAndRemovesEveryPart) {
    // The server's folder is a 1 MiB file system of its own mount namespace.
    peers::Peer server("ftp", {"--root", remote_},
                       {"unshare", "-m", "sh", "-c",
                        "mount -t tmpfs -o size=1m tmpfs \"$0\" && exec \"$@\"", remote_});
    if (!server.running()) GTEST_SKIP() << "no mount namespace here: " << server.error();
    makeFile(local_ + "/f.tar", 3 * kMiB);
    MsgInternetOptions o = opts(1, "ftp://127.0.0.1:" + std::to_string(server.port()) + "/");
    EXPECT_EQ(uploadToCloud(&o, local_ + "/", "f.tar"), -1);
    EXPECT_TRUE(contains(log(), "Failed to upload [" + local_ + "//f.tar.part-"));
    EXPECT_FALSE(contains(log(), "f.tar.part-ac] uploaded successfully"));
    for (const char* part : {"aa", "ab", "ac"})
        EXPECT_FALSE(exists(local_ + "/f.tar.part-" + part));
}

}  // namespace
