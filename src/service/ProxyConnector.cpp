// Links to remote clients' services for the host's proxy: a log bundle received into a file,
// a folder created on the client.
#include "service/ProxyConnector.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/OptionBits.h"
#include "host/FileHandle.h"
#include "host/Net.h"
#include "service/RemoteRequest.h"
#include "service/RequestRecord.h"

namespace service {
namespace {

std::string printable(const std::string& text) {
    std::string out = text.substr(0, 1024);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

// The text fields of a failure record, for the error the proxy reports.
std::string failureText(const host::ReplyRecord& record) {
    std::string text = "the client reported a failure (record " + std::to_string(record.code);
    for (const auto& field : record.fields)
        if (!field.second.empty()) text += ", " + printable(field.second);
    return text + ")";
}

// Receives the replies of a proxy download: the bundle layout record, and exactly one
// streamed file, written to path and kept only when it arrived whole.
class BundleSink : public host::ReplySink {
  public:
    explicit BundleSink(std::string path) : path_(std::move(path)) {}
    ~BundleSink() override {
        if (!kept_ && created_) ::unlink(path_.c_str());
    }

    void onRecord(const host::ReplyRecord& record) override {
        if (record.code == kProxyLayoutCode) {
            layout_ = true;
            for (const auto& field : record.fields)
                if (field.first == kJobResultsPrefixTag) prefix_ = field.second;
        }
        if (record.status != 0 && failure_.empty()) failure_ = failureText(record);
    }
    bool onFileBegin(const std::string& name, uint64_t) override {
        if (created_) return stop("the client sent more than one file (" + printable(name) + ")");
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return stop("cannot create " + path_ + ": " + std::strerror(errno));
        created_ = true;
        file_ = host::FileHandle(::fdopen(fd, "wb"));
        if (!file_) {
            ::close(fd);
            return stop("cannot open " + path_ + ": " + std::strerror(errno));
        }
        return true;
    }
    bool onFileData(const char* data, size_t size) override {
        return file_.write(data, size) ||
               stop("cannot write " + path_ + ": " + std::strerror(errno));
    }
    void onFileEnd(const host::StreamedFileInfo& info) override {
        if (!file_.close()) {
            stop("cannot write " + path_ + ": " + std::strerror(errno));
        } else if (!info.complete()) {
            stop("the bundle arrived damaged or cut short (" + std::to_string(info.receivedSize) +
                 " of " + std::to_string(info.declaredSize) + " bytes)");
        } else {
            whole_ = true;
        }
    }

    // The outcome once the stream ended; keeps the file only when it is the answer.
    CTeError finish(std::string& prefix) {
        std::string why = problem_.empty() ? failure_ : problem_;
        if (why.empty() && !layout_) why = "the service did not describe its bundle";
        if (why.empty() && !whole_) why = "the client sent no bundle";
        if (!why.empty()) return CTeError(EPROTO, why, SL_CODE_LOCATION);
        kept_ = true;
        prefix = prefix_;
        return CTeError();
    }

  private:
    bool stop(const std::string& why) {
        if (problem_.empty()) problem_ = why;
        return false;
    }
    std::string path_;
    host::FileHandle file_;
    bool created_ = false, whole_ = false, kept_ = false, layout_ = false;
    std::string prefix_, failure_, problem_;
};

// Keeps the browse replies of a create-folder request; a file has no place in it.
class FolderSink : public host::ReplySink {
  public:
    std::vector<host::BrowseReply> replies;
    int others = 0;
    void onRecord(const host::ReplyRecord& record) override {
        host::BrowseReply reply;
        if (host::decodeBrowseReply(record, reply))
            replies.push_back(reply);
        else
            ++others;
    }
    bool onFileBegin(const std::string&, uint64_t) override { return false; }
    bool onFileData(const char*, size_t) override { return false; }
    void onFileEnd(const host::StreamedFileInfo&) override {}
};

class ServiceLink : public host::RemoteClientLink {
  public:
    explicit ServiceLink(std::shared_ptr<host::TlsConnection> connection)
        : connection_(std::move(connection)) {}

    CTeError fetchLogBundle(const std::string& bundlePath, std::string& prefix) override {
        RequestValues values;
        values.kind = RequestKind::ProxyDownload;
        values.options = OPT_PRODUCT_LOGS | OPT_JOB_RESULTS;
        BundleSink sink(bundlePath);
        std::string error;
        if (!exchange(values, sink, error)) return CTeError(ECONNABORTED, error, SL_CODE_LOCATION);
        return sink.finish(prefix);
    }

    CTeError createFolder(const std::string& path) override {
        RequestValues values;
        values.kind = RequestKind::CreateFolder;
        values.folderPath = path;
        FolderSink sink;
        std::string error;
        if (!exchange(values, sink, error)) return CTeError(ECONNABORTED, error, SL_CODE_LOCATION);
        if (sink.replies.size() != 1 || sink.others != 0)
            return CTeError(EPROTO,
                            "expected one browse reply, got " +
                                std::to_string(sink.replies.size()) + " and " +
                                std::to_string(sink.others) + " other record(s)",
                            SL_CODE_LOCATION);
        const host::BrowseReply& reply = sink.replies.front();
        if (reply.status != 1) return CTeError(EIO, printable(reply.message), SL_CODE_LOCATION);
        return CTeError();
    }

  private:
    bool exchange(const RequestValues& values, host::ReplySink& sink, std::string& error) {
        if (!connection_) {
            error = "the connection was used already";
            return false;
        }
        std::string frame;
        if (!encodeRequestFrame(values, frame, error)) return false;
        const std::shared_ptr<host::TlsConnection> connection = std::move(connection_);
        return exchangeRequest(*connection, frame, sink, error);
    }

    std::shared_ptr<host::TlsConnection> connection_;
};

class ServiceConnector : public host::RemoteClientConnector {
  public:
    std::unique_ptr<host::RemoteClientLink> connect(const host::RemoteClientTarget& target,
                                                    std::string& error) override {
        const std::shared_ptr<host::TlsContext> tls =
            host::TlsContext::create(host::TlsContext::Role::Requester, target.tls, error);
        if (!tls) return nullptr;
        RemoteLimits limits;
        limits.connect = std::chrono::milliseconds(target.connectMs);
        limits.idle = std::chrono::milliseconds(target.idleMs);
        std::shared_ptr<host::TlsConnection> connection =
            connectToService(target.address, tls, limits, error);
        if (!connection) return nullptr;
        return std::make_unique<ServiceLink>(std::move(connection));
    }
};

// The shared library has no start-up code of its own: it installs the connector when it is
// loaded.
struct InstallAtLoad {
    InstallAtLoad() { installProxyConnector(); }
} installAtLoad;

}  // namespace

std::shared_ptr<host::RemoteClientConnector> makeProxyConnector() {
    return std::make_shared<ServiceConnector>();
}

void installProxyConnector() {
    host::setRemoteClientConnector(makeProxyConnector());
}

}  // namespace service
