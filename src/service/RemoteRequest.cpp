// One request to a remote service.
#include "service/RemoteRequest.h"

namespace service {
namespace {

// Passes replies on, but keeps the service's refusal record for the caller.
class RefusalFilter : public host::ReplySink {
  public:
    explicit RefusalFilter(host::ReplySink& next) : next_(next) {}
    void onRecord(const host::ReplyRecord& record) override {
        if (record.code != kRefusedCode) return next_.onRecord(record);
        refused_ = true;
        for (const auto& field : record.fields)
            if (field.first == kRefusedReasonTag) reason_ = printable(field.second);
    }
    bool onFileBegin(const std::string& name, uint64_t size) override {
        return next_.onFileBegin(name, size);
    }
    bool onFileData(const char* data, size_t size) override { return next_.onFileData(data, size); }
    void onFileEnd(const host::StreamedFileInfo& info) override { next_.onFileEnd(info); }

    bool refused() const { return refused_; }
    const std::string& reason() const { return reason_; }

  private:
    static std::string printable(const std::string& text) {
        std::string out = text.substr(0, 1024);
        for (char& c : out)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
        return out;
    }
    host::ReplySink& next_;
    bool refused_ = false;
    std::string reason_;
};

}  // namespace

std::shared_ptr<host::TlsConnection> connectToService(const host::Endpoint& endpoint,
                                                      const std::shared_ptr<host::TlsContext>& tls,
                                                      const RemoteLimits& limits,
                                                      std::string& error) {
    const int fd = host::connectTcp(endpoint, static_cast<int>(limits.connect.count()), error);
    if (fd < 0) return nullptr;
    auto connection =
        std::make_shared<host::TlsConnection>(tls, fd, static_cast<int>(limits.idle.count()));
    if (!connection->connect(endpoint.host, error)) return nullptr;
    return connection;
}

bool exchangeRequest(host::TlsConnection& connection, const std::string& frame,
                     host::ReplySink& sink, std::string& error) {
    // A service that refuses the record may stop reading before all of it arrived: its
    // refusal is still read below and is the better reason.
    const CTeError sent = connection.writeAll(frame.data(), frame.size());
    RefusalFilter filter(sink);
    std::string readError;
    uint64_t received = 0;
    const bool read = readReplies(
        [&connection, &received](void* buffer, size_t size, std::string& why) {
            const long got = connection.read(buffer, size, why);
            if (got > 0) received += static_cast<uint64_t>(got);
            return got;
        },
        filter, readError);
    connection.close(0);
    if (filter.refused()) {
        error = "the service refused the request: " + filter.reason();
        return false;
    }
    if (!read && received == 0) {
        // Under TLS 1.3 a service that refuses this requester's certificate says so only now.
        error = "the service ended the connection before any reply: " + readError;
        return false;
    }
    if (sent.IsError()) {
        error = "cannot send the request: " + sent.AsString();
        return false;
    }
    if (!read) {
        error = "the reply stream broke: " + readError;
        return false;
    }
    return true;
}

bool runRemoteRequest(const host::Endpoint& endpoint, const std::shared_ptr<host::TlsContext>& tls,
                      const RequestValues& values, const RemoteLimits& limits,
                      host::ReplySink& sink, std::string& error) {
    std::string frame;
    if (!encodeRequestFrame(values, frame, error)) return false;
    const std::shared_ptr<host::TlsConnection> connection =
        connectToService(endpoint, tls, limits, error);
    return connection && exchangeRequest(*connection, frame, sink, error);
}

}  // namespace service
