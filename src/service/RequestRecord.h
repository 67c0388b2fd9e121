// The request record: the values of one log-collection request as a requester sends them to
// the network service, and their checked decoding. Layout and limits:
// docs/wire-protocol.md, "Request record".
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/Gateway.h"
#include "scrub/ScrubRule.h"

namespace service {

// The frame that carries a record: the reply stream's 5-byte header with this type.
constexpr uint8_t kRequestFrame = 0x20;
constexpr uint8_t kRecordVersion = 1;
// The largest record the format allows; a service may set a lower limit.
constexpr size_t kMaxRecordBytes = 64 << 20;

// The reply record of a service that refuses a request: this code, one field with the
// reason as text, status 1.
constexpr uint32_t kRefusedCode = 2690;
constexpr uint32_t kRefusedReasonTag = 2691;

// What a request asks for. A proxy download is a log request of another machine's proxy:
// before the request's own replies, the service sends one record (code kProxyLayoutCode)
// whose field kJobResultsPrefixTag holds the path under which the bundle holds this
// machine's job results directory. A create-folder request creates folderPath on the
// service's machine and is answered with one browse reply (host/Net.h).
enum class RequestKind : uint8_t { Collect = 0, ProxyDownload = 1, CreateFolder = 2 };
constexpr uint32_t kProxyLayoutCode = 2692;
constexpr uint32_t kJobResultsPrefixTag = 2693;

// Every value of a request but the connection itself (socket and network object).
struct RequestValues {
    long long ignoredValue = 0;
    unsigned int clientId = 0;
    long long jobId = 0;
    std::vector<long long> jobIds;
    time_t fromTime = 0, toTime = 0;
    unsigned long options = 0, extraOptions = 0;
    std::vector<std::string> commands;
    std::vector<std::string> extraNames;
    std::vector<std::string> additionalFolders;
    std::set<std::string> ignoredNames;
    ScrubRuleList scrubRules;
    ReplacementMap replacements;
    std::optional<std::string> clientName;  // absent: no name
    long long tagId = 0;
    std::string searchText;
    // The scrub patterns file's content (a path would mean nothing on the service's machine);
    // the service stores it in a private file and hands that file's path on.
    std::optional<std::string> scrubPatterns;
    std::optional<MsgInternetOptions> internetOptions;
    std::string cassandraFiles;
    // Not values of the request entry: what the requester asks for, and the folder of a
    // create-folder request (absolute; present exactly for that kind).
    RequestKind kind = RequestKind::Collect;
    std::string folderPath;
};

// The whole frame (header and record). False with a reason when a value breaks a limit of
// the format; the requester learns it before anything is sent.
bool encodeRequestFrame(const RequestValues& values, std::string& frame, std::string& error);
// Decodes a record (the frame's payload). False with a reason, and out unspecified, when
// the bytes are not one well-formed record within the limits.
bool decodeRequestRecord(const unsigned char* data, size_t size, RequestValues& out,
                         std::string& error);
// A short description for the service's log: mode, job, options, counts. Never a text
// value, since scrubbing may have been asked to hide it.
std::string describeRequest(const RequestValues& values);

}  // namespace service
