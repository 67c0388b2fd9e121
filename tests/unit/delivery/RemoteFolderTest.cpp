// Folder creation for browse requests, and the one reply each request gets.
#include "DeliveryFixture.h"
#include "delivery/RemoteFolder.h"
#include "host/File.h"
#include "host/MessageCatalogue.h"
#include "support/RequestHarness.h"

namespace {

using deliverytest::DeliveryTest;

class RemoteFolderTest : public DeliveryTest {
  protected:
    std::vector<host::BrowseReply> run(std::string path, unsigned clientId) {
        CTeSocket library, requester;
        EXPECT_FALSE(CTeSocket::createPair(library, requester).IsError());
        {
            CWyNetwork network(library);
            unixBrowseCreateNewFolder(path.empty() ? nullptr : path.data(), library, 99, clientId,
                                      &network);
            library = CTeSocket();
        }
        harness::Reply got;
        harness::MemorySink sink(got);
        std::string error;
        EXPECT_TRUE(host::readReplies(requester.fd(), sink, error)) << error;
        EXPECT_TRUE(got.files.empty());
        std::vector<host::BrowseReply> replies(got.records.size());
        for (size_t i = 0; i < replies.size(); ++i) {
            EXPECT_TRUE(host::decodeBrowseReply(got.records[i], replies[i]));
            EXPECT_EQ(got.records[i].status, replies[i].status == 1 ? 0 : 1);
        }
        return replies;
    }
    static std::string text(unsigned long id) { return host::catalogueText(id); }
};

TEST_F(RemoteFolderTest, ThisMachineCreatesTheFolderItself) {
    const std::string path = dir_.file("new folder");
    auto replies = run(path, 0);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].requestId, 99);
    EXPECT_EQ(replies[0].status, 1);
    EXPECT_EQ(replies[0].message, text(host::MSG_CREATE_FOLDER_DONE));
    EXPECT_TRUE(FXFolder::DoesFolderExist(path));
    EXPECT_FALSE(testenv::contains(log(), "destOsID")) << "client 0 is never looked up";

    replies = run(path, 0);  // exists already
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].status, 0);
    EXPECT_EQ(replies[0].message.rfind(text(host::MSG_CREATE_FOLDER_FAILED), 0), 0u);
    ASSERT_EQ(run("relative/folder", 0).at(0).status, 0);

    // A client that is not behind the proxy is this machine's business too.
    registry_.setNumber("Clients/3", "nOsId", 1);
    ASSERT_EQ(run(dir_.file("other"), 3).at(0).status, 1);
    EXPECT_TRUE(FXFolder::DoesFolderExist(dir_.file("other")));
    EXPECT_TRUE(testenv::contains(log(), "clientId:3 destOsID:1"));
}

// An unreachable proxied client (49 or 118): one failure reply, nothing created here.
TEST_F(RemoteFolderTest, UnreachableProxiedClientGetsExactlyOneFailure) {
    registry_.setNumber("Clients/9", "nOsId", 49);
    registry_.setNumber("Clients/8", "nOsId", 118);
    registry_.setString("Clients/8", "sServiceAddress", "127.0.0.1:1");  // nothing listens
    for (unsigned id : {9u, 8u}) {
        const std::string path = dir_.file("new" + std::to_string(id));
        auto replies = run(path, id);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0].status, 0);
        EXPECT_EQ(replies[0].message, text(host::MSG_CREATE_FOLDER_FAILED));
        EXPECT_FALSE(FXFolder::DoesFolderExist(path));
    }
    EXPECT_TRUE(testenv::contains(log(), "Failed to connect to remote client."));
    EXPECT_TRUE(testenv::contains(log(), "Cannot reach client 8")) << log();
    ASSERT_EQ(run("", 9).size(), 1u) << "no path: a failure reply, not a crash";
}

}  // namespace
