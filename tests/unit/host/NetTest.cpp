#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <random>
#include <thread>
#include <tuple>

#include "host/Log.h"
#include "host/Net.h"
#include "support/DescriptorLeakCheck.h"
#include "support/RequestHarness.h"

using namespace testenv;

namespace {

// Stops reading at the first streamed byte, as a requester that hangs up mid-stream.
struct HangUp : harness::MemorySink {
    using harness::MemorySink::MemorySink;
    bool onFileBegin(const std::string&, uint64_t) override { return false; }
};

struct Decoded {
    bool ok = false;
    std::string error;
    harness::Reply sink;
};

// Decodes a small byte string (it must fit in a pipe) as readReplies sees a connection.
Decoded decode(const std::string& bytes) {
    int fds[2];
    Decoded d;
    if (pipe(fds) != 0 || write(fds[1], bytes.data(), bytes.size()) != ssize_t(bytes.size())) {
        d.error = "test pipe failed";
        return d;
    }
    close(fds[1]);
    harness::MemorySink sink(d.sink);
    d.ok = host::readReplies(fds[0], sink, d.error);
    close(fds[0]);
    return d;
}

std::string frame(uint8_t type, const std::string& payload) {
    std::string out(1, static_cast<char>(type));
    uint32_t n = static_cast<uint32_t>(payload.size());
    for (int shift : {24, 16, 8, 0}) out += static_cast<char>(n >> shift);
    return out + payload;
}

std::string be(uint64_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
    return out;
}

class NetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        signal(SIGPIPE, SIG_DFL);  // a stray SIGPIPE would end this test program
        host::setLogFilePath("");
        ASSERT_FALSE(CTeSocket::createPair(library, requester).IsError());
    }
    void TearDown() override { host::resetLogSettings(); }
    CTeSocket library, requester;
};

}  // namespace

TEST_F(NetTest, RecordsAndAStreamedFileArriveWhole) {
    TempDir dir;
    std::string content;
    std::mt19937 gen(5);
    for (int i = 0; i < 300000; ++i) content += static_cast<char>(gen());
    writeFile(dir.file("logFiles_1.tar.gz"), content);

    harness::Reply sink;
    std::string error;
    bool ok = false;
    std::thread reader([&] {
        harness::MemorySink into(sink);
        ok = host::readReplies(requester.fd(), into, error);
    });

    CWyNetwork network(library);
    EvReturnData reply(&network);
    std::string binary("a\0b\xff", 4);
    EXPECT_EQ(reply.begin(2614, 0, library, true), 0);
    EXPECT_EQ(reply.add(8510, "11.40", 5), 0);
    EXPECT_EQ(reply.add(7, binary.data(), binary.size()), 0);
    EXPECT_EQ(reply.end(0), 0);
    EXPECT_EQ(reply.add(1, "x", 1), -1);  // outside a record
    EXPECT_EQ(reply.end(1), 0);           // bare status on the network's socket
    EXPECT_EQ(viewFileContents(dir.file("logFiles_1.tar.gz").c_str(), library, 0, &network), 0);
    library = CTeSocket();
    network = CWyNetwork();
    reader.join();

    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(sink.records.size(), 2u);
    EXPECT_EQ(sink.records[0].fields,
              (decltype(sink.records[0].fields){{8510, "11.40"}, {7, binary}}));
    EXPECT_EQ(std::make_tuple(sink.records[0].code, sink.records[0].status, sink.records[1].code,
                              sink.records[1].status),
              std::make_tuple(2614u, 0, 0u, 1));
    ASSERT_EQ(sink.files.size(), 1u);
    EXPECT_TRUE(sink.files[0].complete());  // size and checksum as declared
    EXPECT_EQ(sink.contents.at("logFiles_1.tar.gz"), content);
}

TEST_F(NetTest, PeerHangingUpIsAnErrorNotASignal) {
    TempDir dir;
    writeFile(dir.file("big.bin"), std::string(8 << 20, 'z'));
    const int fds = countOpenFds();
    EXPECT_FALSE(library.peerHungUp());
    std::thread reader([&] {
        harness::Reply reply;
        HangUp sink(reply);
        std::string error;
        host::readReplies(requester.fd(), sink, error);
        requester = CTeSocket();  // hang up mid-stream
    });
    int rc = viewFileContents(dir.file("big.bin").c_str(), library, 0, nullptr);
    reader.join();
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(countOpenFds(), fds - 1) << "the file is closed; only the requester end went";
    EXPECT_TRUE(library.broken());
    EXPECT_TRUE(library.peerHungUp());
    EXPECT_TRUE(library.sendAll("x", 1).IsError());
    EvReturnData reply(nullptr);
    reply.begin(1, 0, library, true);
    EXPECT_EQ(reply.end(0), -1);
}

// A requester that stops reading without closing does not hold the sender for ever.
TEST_F(NetTest, SendThatMakesNoProgressEndsAfterItsTimeLimit) {
    library.setSendTimeLimit(std::chrono::milliseconds(50));
    const std::string block(1 << 20, 'q');
    CTeError err;
    for (int i = 0; i < 64 && !err.IsError(); ++i)
        err = library.sendAll(block.data(), block.size());
    EXPECT_TRUE(err.IsError());
    EXPECT_EQ(err.GetErrorCode(), ETIMEDOUT);
    EXPECT_TRUE(library.broken());
}

TEST_F(NetTest, UnsendableFilesFailWithoutFrames) {
    TempDir dir;
    EXPECT_EQ(viewFileContents(dir.file("absent").c_str(), library, 0, nullptr), -1);
    EXPECT_EQ(viewFileContents(dir.path().c_str(), library, 0, nullptr), -1);
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(viewFileContents(dir.file("fifo").c_str(), library, 0, nullptr), -1);
    EXPECT_EQ(viewFileContents(dir.file("x").c_str(), CTeSocket(), 0, nullptr), -1);
    library = CTeSocket();
    Decoded d;
    harness::MemorySink sink(d.sink);
    EXPECT_TRUE(host::readReplies(requester.fd(), sink, d.error));
    EXPECT_TRUE(d.sink.records.empty() && d.sink.files.empty());
}

TEST(WireDecoder, SizeAndChecksumMismatchesShowAsIncomplete) {
    const std::string data = frame(0x11, "12345");
    const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>("12345"), 5);
    // declared size, checksum at the end, whole
    for (auto [size, sum, whole] :
         {std::make_tuple(10u, crc, false), std::make_tuple(5u, crc ^ 1, false),
          std::make_tuple(5u, crc, true)}) {
        Decoded d =
            decode(frame(0x10, be(size, 8) + "f") + data + frame(0x12, be(5, 8) + be(sum, 4)));
        ASSERT_TRUE(d.ok) << d.error;
        ASSERT_EQ(d.sink.files.size(), 1u);
        EXPECT_EQ(d.sink.files[0].complete(), whole) << size << " " << sum;
    }
}

// Browse-reply fields are read by tag and size: a four-byte message stays the message.
TEST(BrowseReply, FieldsAreReadByTagAndSize) {
    host::ReplyRecord r{host::BROWSE_REPLY_CODE, 0, {}};
    r.fields = {{host::BROWSE_REQUEST_ID_TAG, be(7, 8)},
                {host::BROWSE_STATUS_TAG, be(1, 4)},
                {host::BROWSE_MESSAGE_TAG, "done"}};
    host::BrowseReply b;
    ASSERT_TRUE(host::decodeBrowseReply(r, b));
    EXPECT_EQ("7 1 done",
              std::to_string(b.requestId) + " " + std::to_string(b.status) + " " + b.message);
    r.fields[1].second.resize(2);  // a status of another size is no status
    EXPECT_FALSE(host::decodeBrowseReply(r, b));
}

TEST(WireDecoder, MalformedStreamsAreRejected) {
    const std::string record = frame(0x01, be(1, 4)) + frame(0x03, be(0, 4));
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"unknown type", frame(0x7f, "")},
        {"oversized field", std::string("\x02\x7f\xff\xff\xff", 5)},
        {"oversized data", frame(0x10, be(1, 8) + "f") + std::string("\x11\x00\x10\x00\x01", 5)},
        {"data outside a file", frame(0x11, "abc")},
        {"field outside a record", frame(0x02, be(1, 4) + "x")},
        {"end outside a record", frame(0x03, be(0, 4))},
        {"unsafe name", frame(0x10, be(1, 8) + "../etc/passwd")},
        {"dot name", frame(0x10, be(1, 8) + "..")},
        {"record inside a file", frame(0x10, be(1, 8) + "f") + record},
        {"count unlike data",
         frame(0x10, be(1, 8) + "f") + frame(0x11, "a") + frame(0x12, be(2, 8) + be(0, 4))},
        {"truncated in record", frame(0x01, be(1, 4))},
        {"truncated frame", record.substr(0, record.size() - 2)},
    };
    for (const auto& c : cases) {
        Decoded d = decode(c.bytes);
        EXPECT_FALSE(d.ok) << c.what;
        EXPECT_FALSE(d.error.empty()) << c.what;
    }
    EXPECT_TRUE(decode(record + record).ok);
    EXPECT_TRUE(decode("").ok);
}
