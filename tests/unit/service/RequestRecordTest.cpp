// The request record round trip; bad records are refused with a reason naming the field.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>

#include "host/Wire.h"
#include "scrub/ScrubRule.h"
#include "service/RequestRecord.h"
#include "support/TestEnv.h"

namespace {

using service::RequestValues;

RequestValues everyValueSet() {
    RequestValues v;
    v.ignoredValue = -7;
    v.clientId = UINT_MAX;
    v.jobId = LLONG_MIN;
    v.jobIds = {1, -2, LLONG_MAX};
    v.fromTime = -1;
    v.toTime = LLONG_MAX;
    v.options = ULONG_MAX;
    v.extraOptions = 0x1;
    v.commands = {"uname -a", ""};
    v.extraNames = {"/etc/hosts"};
    v.additionalFolders = {std::string("app\x12/var/log/app")};
    v.ignoredNames = {"a", "b"};
    v.scrubRules = {{"secret", createIgnoreCaseScrubPatternConfig("secret", false)},
                    {"[0-9]+\\.[0-9]+", createIgnoreCaseScrubPatternConfig("0123456789.", true)}};
    v.replacements = {{"secret", "MaskedData0"}, {"", ""}};
    v.clientName = "";  // present and empty is not the same as absent
    v.tagId = 42;
    v.searchText = "needle";
    v.scrubPatterns = std::string("secret\0binary\n", 14);
    MsgInternetOptions upload{};
    strcpy(upload.uploadUrl, "ftp://drop.example.test/in");
    strcpy(upload.uploadUser, "u");
    strcpy(upload.uploadPassword, "p");
    strcpy(upload.corvaneId, "2");
    upload.httpSecured = 1;
    strcpy(upload.httpServerHandler, "h");
    upload.partSizeMb = 512;
    v.internetOptions = upload;
    v.cassandraFiles = "a.yaml;b.yaml";
    return v;
}

std::string recordOf(const RequestValues& v) {
    std::string frame, error;
    EXPECT_TRUE(service::encodeRequestFrame(v, frame, error)) << error;
    return frame.substr(host::wire::kHeaderSize);
}

bool decode(const std::string& record, RequestValues& out, std::string& error) {
    return service::decodeRequestRecord(reinterpret_cast<const unsigned char*>(record.data()),
                                        record.size(), out, error);
}

// The values as one comparable tuple each: a field the decoder drops or alters shows here.
auto plain(const RequestValues& v) {
    return std::tie(v.ignoredValue, v.clientId, v.jobId, v.jobIds, v.fromTime, v.toTime, v.options,
                    v.extraOptions, v.commands, v.extraNames, v.additionalFolders, v.ignoredNames,
                    v.replacements, v.clientName, v.tagId, v.searchText, v.scrubPatterns,
                    v.cassandraFiles, v.kind, v.folderPath);
}

auto upload(const MsgInternetOptions& o) {
    return std::make_tuple(std::string(o.uploadUrl), std::string(o.uploadUser),
                           std::string(o.uploadPassword), std::string(o.corvaneId),
                           std::string(o.httpServerHandler), o.protocol, o.ftpPassive,
                           o.httpSecured, o.partSizeMb);
}

void expectSame(const RequestValues& a, const RequestValues& b) {
    EXPECT_TRUE(plain(a) == plain(b));
    ASSERT_EQ(a.scrubRules.size(), b.scrubRules.size());
    for (size_t i = 0; i < a.scrubRules.size(); ++i)
        EXPECT_TRUE(a.scrubRules[i].first == b.scrubRules[i].first &&
                    a.scrubRules[i].second.isRegex == b.scrubRules[i].second.isRegex &&
                    a.scrubRules[i].second.charSet == b.scrubRules[i].second.charSet)
            << "rule " << i;
    ASSERT_EQ(a.internetOptions.has_value(), b.internetOptions.has_value());
    EXPECT_TRUE(!a.internetOptions || upload(*a.internetOptions) == upload(*b.internetOptions));
}

TEST(RequestRecord, EveryValueSurvivesTheRoundTrip) {
    RequestValues download = everyValueSet();
    download.kind = service::RequestKind::ProxyDownload;
    RequestValues folder;
    folder.kind = service::RequestKind::CreateFolder;
    folder.folderPath = "/data/new folder";
    for (const RequestValues& original : {everyValueSet(), RequestValues(), download, folder}) {
        RequestValues decoded;
        std::string error;
        ASSERT_TRUE(decode(recordOf(original), decoded, error)) << error;
        expectSame(original, decoded);
    }
}

// Hand-made records, so that the decoder sees what no encoder would write.
std::string be32(uint32_t v) {
    std::string out;
    host::wire::putU32(out, v);
    return out;
}
std::string field(uint8_t id, uint8_t type, const std::string& value) {
    return std::string(1, static_cast<char>(id)) + static_cast<char>(type) +
           be32(static_cast<uint32_t>(value.size())) + value;
}
std::string number(uint64_t v) {
    std::string out;
    host::wire::putU64(out, v);
    return out;
}
const std::string kVersion(1, '\x01');

TEST(RequestRecord, MalformedRecordsAreRefusedWithTheirReason) {
    const struct {
        std::string record;
        const char* reason;
    } cases[] = {
        {"", "empty"},
        {"\x02", "version 2"},
        {kVersion + field(1, 2, number(0)), "unknown field 1"},    // the socket is never sent
        {kVersion + field(19, 2, number(0)), "unknown field 19"},  // nor the network object
        {kVersion + field(4, 3, "1001"), "jobId: wrong type"},
        {kVersion + field(4, 1, number(1)) + field(3, 2, number(1)),
         "clientId: field out of order"},
        {kVersion + field(4, 1, number(1)) + field(4, 1, number(2)), "jobId: field out of order"},
        {kVersion + field(4, 1, "1234"), "jobId: not an 8-byte number"},
        {kVersion + field(4, 1, number(1) + "x"), "jobId: 1 bytes left over"},
        {kVersion + field(3, 2, number(1ull << 32)), "clientId: out of range"},
        {kVersion + field(16, 3, std::string(1024, 'n')), "clientName: a text of 1024 bytes"},
        {kVersion + field(16, 3, std::string("a\0b", 3)), "clientName: a text holds a NUL"},
        {kVersion + field(10, 4, be32(1000000000) + "xx"), "commands: 1000000000 items"},
        {kVersion + field(10, 4, be32(200) + "xx"), "commands: 200 items cannot fit"},
        {kVersion + field(10, 4, be32(1) + be32(4096) + std::string(4096, 'c')),
         "commands: a text of 4096"},
        {kVersion + field(14, 6, be32(1) + "\x02" + std::string(16, '\0') + be32(1) + "x"),
         "unknown rule kind 2"},
        {kVersion + field(14, 6, be32(1) + std::string(17, '\0') + be32(0) + "x"), "empty text"},
        {kVersion + field(14, 6, be32(2) + std::string(17, '\0') + be32(1) + "x"), "cannot fit"},
        {kVersion + field(15, 7, be32(2) + be32(1) + "k" + be32(0) + be32(1) + "k" + be32(0)),
         "a key appears twice"},
        {kVersion + field(21, 8, field(10, 2, number(1ull << 40))), "part size out of range"},
        {kVersion + field(21, 8, field(6, 2, number(2))), "useFtp: not 0 or 1"},
        {kVersion + "\x04\x01\x00", "truncated field header"},
        {kVersion + field(4, 1, number(1)).substr(0, 10), "jobId: truncated"},
        {kVersion + field(23, 2, number(3)), "kind: unknown request kind 3"},
        {kVersion + field(23, 2, number(2)), "a create-folder request names no folder"},
        {kVersion + field(24, 3, "/x"), "only a create-folder request names a folder"},
    };
    for (const auto& c : cases) {
        RequestValues out;
        std::string error;
        EXPECT_FALSE(decode(c.record, out, error)) << c.reason;
        EXPECT_TRUE(testenv::contains(error, c.reason))
            << "expected \"" << c.reason << "\", got \"" << error << "\"";
    }
}

TEST(RequestRecord, EncoderRefusesWhatTheDecoderWouldRefuse) {
    const struct {
        void (*change)(RequestValues&);
        const char* reason;
    } cases[] = {
        {[](RequestValues& v) { v.searchText.assign(1024, 's'); }, "searchText: a text of 1024"},
        {[](RequestValues& v) { v.commands.assign(257, "ls"); }, "commands: 257 items"},
        {[](RequestValues& v) { v.clientName = std::string("x\0y", 3); },
         "clientName: a text holds a NUL"},
        {[](RequestValues& v) { v.scrubRules.emplace_back("", ScrubPatternConfig_t()); },
         "empty text"},
        {[](RequestValues& v) { v.scrubPatterns = std::string((16 << 20) + 1, 'p'); },
         "scrubPatterns: a text of 16777217 bytes"},
        {[](RequestValues& v) { v.kind = service::RequestKind::CreateFolder; }, "names no folder"},
        {[](RequestValues& v) { v.folderPath = "/x"; }, "only a create-folder request"},
    };
    for (const auto& c : cases) {
        RequestValues v;
        c.change(v);
        std::string frame, error;
        EXPECT_FALSE(service::encodeRequestFrame(v, frame, error)) << c.reason;
        EXPECT_TRUE(testenv::contains(error, c.reason)) << error;
    }
}

TEST(RequestRecord, DescriptionNamesTheModeButNoTextValue) {
    RequestValues v = everyValueSet();
    v.searchText = "customer-secret";
    const std::string text = service::describeRequest(v);
    EXPECT_TRUE(testenv::contains(text, "job-log request")) << text;
    EXPECT_FALSE(testenv::contains(text, "customer-secret")) << text;
    EXPECT_FALSE(testenv::contains(text, "uname")) << text;
    EXPECT_TRUE(testenv::contains(service::describeRequest(RequestValues()), "bundle request"));
}

}  // namespace
