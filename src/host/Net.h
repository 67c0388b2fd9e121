// The requester's connection, the reply stream and file streaming, over a connected stream
// socket (TCP, or a socket pair in-process). Framing: docs/wire-protocol.md.
// Writing to a peer that has gone away is an error value, never SIGPIPE.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/Error.h"

namespace host {

// A byte stream a CTeSocket writes through instead of its own descriptor (a TLS session over
// a TCP connection). writeAll sends everything or fails; it never raises SIGPIPE and gives
// up on a peer that stops reading instead of waiting without end.
class StreamTransport {
  public:
    virtual ~StreamTransport() = default;
    virtual CTeError writeAll(const void* data, size_t size) = 0;
    virtual int fd() const = 0;  // the connection underneath, owned by the transport
};

}  // namespace host

// A connected stream socket, shared by its copies; the last copy closes it.
class CTeSocket {
  public:
    CTeSocket() = default;
    explicit CTeSocket(int fd);  // takes ownership
    // Writes go through the transport, which owns the connection.
    explicit CTeSocket(std::shared_ptr<host::StreamTransport> transport);
    int fd() const;
    bool isOpen() const { return fd() >= 0; }
    // Writes everything or fails (peer gone, error, or no byte accepted for the send time
    // limit): then the socket is marked broken and every later write fails at once.
    CTeError sendAll(const void* data, size_t size);
    // How long a send may wait for the requester to take a byte (default five minutes). A
    // requester that stops reading without closing would otherwise hold the request forever.
    void setSendTimeLimit(std::chrono::milliseconds limit);
    static constexpr std::chrono::milliseconds kDefaultSendTimeLimit{300000};
    bool broken() const;
    // The requester shut its end down in both directions (or closed it): nothing the request
    // still produces can reach it. A requester that only finished sending is not gone. A
    // hang-up seen here marks the socket broken.
    bool peerHungUp() const;
    // A connected pair: the library end and the requester end.
    static CTeError createPair(CTeSocket& libraryEnd, CTeSocket& requesterEnd);

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

// The request's network object: carries the connection the reply stream writes to.
class CWyNetwork {
  public:
    CWyNetwork() = default;
    explicit CWyNetwork(CTeSocket socket) : socket_(std::move(socket)) {}
    CTeSocket& socket() { return socket_; }

  private:
    CTeSocket socket_;
};

// One reply record at a time: begin (code, 0, socket, true), add (tag, data, length)...,
// end (status: 0 success, 1 failure). end without begin sends a bare status record (code 0)
// on the network's socket. Each returns 0 on success, -1 when the write failed (logged).
class EvReturnData {
  public:
    explicit EvReturnData(CWyNetwork* network) : network_(network) {}
    int begin(uint32_t code, int reserved, CTeSocket socket, bool flag);
    int add(uint32_t tag, const void* data, size_t length);
    int end(int status);

  private:
    CWyNetwork* network_;
    CTeSocket socket_;
    bool open_ = false;
    uint32_t code_ = 0;
    std::vector<std::pair<uint32_t, std::string>> fields_;
};

// Streams the whole file (its base name, size and CRC-32) to the requester. 0 on success.
int viewFileContents(const char* path, CTeSocket socket, int flags, CWyNetwork* network);

namespace host {

// The receiving side, used by the command-line program and the tests.
struct ReplyRecord {
    uint32_t code = 0;
    int status = 0;
    std::vector<std::pair<uint32_t, std::string>> fields;
};
struct StreamedFileInfo {
    std::string name;  // base name as sent (never contains "/")
    uint64_t declaredSize = 0, receivedSize = 0;
    uint32_t declaredCrc = 0, receivedCrc = 0;
    bool ended = false;  // the end frame arrived
    bool complete() const {
        return ended && declaredSize == receivedSize && declaredCrc == receivedCrc;
    }
};
class ReplySink {
  public:
    virtual ~ReplySink() = default;
    virtual void onRecord(const ReplyRecord& record) = 0;
    // Return false to abort the decoding.
    virtual bool onFileBegin(const std::string& name, uint64_t size) = 0;
    virtual bool onFileData(const char* data, size_t size) = 0;
    virtual void onFileEnd(const StreamedFileInfo& info) = 0;
};
// Reads frames from fd until the peer closes. False with a reason on a malformed stream
// (unknown frame, oversized length, truncated frame, file data outside a file).
bool readReplies(int fd, ReplySink& sink, std::string& error);
// The same over any byte stream: read fills up to size bytes and returns their count, 0 at
// a clean end of the stream, -1 with a reason in error.
using ReadFunction = std::function<long(void* buffer, size_t size, std::string& error)>;
bool readReplies(const ReadFunction& read, ReplySink& sink, std::string& error);

}  // namespace host

// Replies to a browse request of the requester (creating a folder while browsing the
// client's file system): one record of code host::BROWSE_REPLY_CODE, docs/wire-protocol.md.
namespace host {
enum : uint32_t {
    BROWSE_REPLY_CODE = 2640,
    BROWSE_REQUEST_ID_TAG = 2641,  // the request's id, i64
    BROWSE_STATUS_TAG = 2642,      // 1 success, 0 failure, i32
    BROWSE_MESSAGE_TAG = 2643,     // text for the user, no NUL
};
struct BrowseReply {
    int64_t requestId = 0;
    int status = 0;
    std::string message;
};
// False when record is not a well-formed browse reply.
bool decodeBrowseReply(const ReplyRecord& record, BrowseReply& out);
}  // namespace host

// Sends the reply to browse request requestId on *socket (or, when it is null or closed, on
// the network's connection). status 1 reports success, 0 failure. 0 when sent, -1 otherwise.
int sendResponse(int64_t requestId, CTeSocket* socket, int status, const char* message,
                 CWyNetwork* network);
// The host's own folder creation: creates the folder path (absolute; its parent must exist)
// on this machine and answers the requester with sendResponse.
void machineBrowseCreateNewFolder(const char* path, CTeSocket socket, int64_t requestId,
                                  void* reserved1, void* reserved2, void* reserved3,
                                  CWyNetwork* network);
