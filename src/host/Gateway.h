// The upload gateway of the host: one object per transfer, on libcurl. FTP (passive or
// active) and HTTP/HTTPS uploads with a user and password, through a proxy when the registry
// names one (docs/delivery.md). Files are streamed from disk, never held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class EvDebug;

// The request's internet options, as the host hands them over. Only the leading fields are
// the library's concern; the host's record goes on after uploadPassword.
struct MsgInternetOptions {
    int protocol;                  // 0: upload by HTTP; any other value: by FTP
    int ftpPassive;                // non-zero: passive FTP; 0: active FTP
    int httpSecured;               // non-zero: HTTPS
    char httpServerHandler[1024];  // server-side handler of an HTTP upload
    int partSizeMb;                // part size in mebibytes (split's "m" unit)
    char reserved[1023];           // not read by the library
    char corvaneId[1023];          // the Corvane the upload belongs to
    char uploadUrl[1023];
    char uploadUser[1023];
    char uploadPassword[1023];
};
static_assert(offsetof(MsgInternetOptions, httpServerHandler) == 12, "record layout");
static_assert(offsetof(MsgInternetOptions, partSizeMb) == 1036, "record layout");
static_assert(offsetof(MsgInternetOptions, corvaneId) == 1040 + 1023, "record layout");
static_assert(offsetof(MsgInternetOptions, uploadPassword) == 1040 + 4 * 1023, "record layout");

namespace WyCURL {
// A raw FTP command sent before or after the transfer (QUOTE / POSTQUOTE).
struct commandInfo {
    std::string command;
    bool afterTransfer = false;
};
}  // namespace WyCURL

namespace LIBCURL {

enum ProtocolType { PROTOCOL_FTP = 1, PROTOCOL_HTTP = 2 };
enum JobType { JOB_DOWNLOAD = 1, JOB_UPLOAD = 2 };

// The settings of one transfer, in the order the gateway's setters fill them.
class WyInternetBase {
  public:
    void setURL(const std::string& v) { url_ = v; }
    void setURLUserName(const std::string& v) { userName_ = v; }
    void setURLPassword(const std::string& v) { password_ = v; }
    void setServerHandler(const std::string& v) { serverHandler_ = v; }
    void setCorvaneID(const std::string& v) { corvaneId_ = v; }
    const std::string& url() const { return url_; }
    const std::string& userName() const { return userName_; }
    const std::string& password() const { return password_; }
    const std::string& serverHandler() const { return serverHandler_; }
    const std::string& corvaneId() const { return corvaneId_; }

  private:
    std::string url_;
    std::string userName_;
    std::string password_;
    std::string serverHandler_;
    std::string corvaneId_;
};

class WyInternetGateway {
  public:
    explicit WyInternetGateway(EvDebug* log);
    ~WyInternetGateway();
    WyInternetGateway(const WyInternetGateway&) = delete;
    WyInternetGateway& operator=(const WyInternetGateway&) = delete;

    // 0 on success. Only uploads (JOB_UPLOAD) by FTP or HTTP are supported.
    int initialize(ProtocolType protocol, JobType job);

    void setURL(const std::string& v) { base_.setURL(v), note("setURL", v); }
    void setURLUserName(const std::string& v) {
        base_.setURLUserName(v), note("setURLUserName", v);
    }
    void setURLPassword(const std::string& v) {
        base_.setURLPassword(v), note("setURLPassword", v);
    }
    void setServerHandler(const std::string& v) {
        base_.setServerHandler(v), note("setServerHandler", v);
    }
    void setCorvaneID(const std::string& v) { base_.setCorvaneID(v), note("setCorvaneID", v); }
    void setSecured(bool secured) { secured_ = secured, note("setSecured", secured ? "1" : "0"); }

    // FTP only. Active mode: the server connects back to address (empty: the address of the
    // control connection) on a port of ports ("" any, "40000-40100" a range). 0 on success.
    int setActiveMode(const std::string& address, const std::string& ports);
    int disableActiveMode();  // passive mode (EPSV, then PASV)

    // FTP: logs in and checks the target folder. HTTP: opens a connection to the server (or
    // the proxy), TLS included. The transfer reuses what connect opened. 0 on success.
    int connect();
    // Sends localFile. FTP: into the folder named by target (the corvane id) below the URL,
    // created when missing. HTTP: to the server handler at the URL (target), see
    // docs/delivery.md. 0 on success.
    int uploadFile(const std::string& localFile, const std::string& target,
                   std::vector<WyCURL::commandInfo> commands);
    void disConnet();

    // The last transfer-library error: its code (0: none) and text.
    void getLastCurlErrorCodeAndErrorMsg(int& code, std::string& text);
    // The gateway's own description of the last failure; holds
    // "Response code from server: [NNN]" when a server or proxy answered with an error status.
    std::string getErrorMsg();

    struct Transfer;  // the libcurl side (GatewayTransfer.cpp)

  private:
    void note(const char* call, const std::string& argument);
    void fail(int code, const std::string& text, const std::string& message);

    EvDebug* log_;
    WyInternetBase base_;
    bool secured_ = false;
    bool initialized_ = false;
    ProtocolType protocol_ = PROTOCOL_FTP;
    std::optional<std::string> activeAddress_;  // set: active FTP
    int lastCode_ = 0;
    std::string lastText_, errorMsg_;
    std::unique_ptr<Transfer> transfer_;
};

}  // namespace LIBCURL

namespace host {
namespace gateway {

// A URL as it may be logged: user information ("user:password@") replaced by "***@".
std::string loggableUrl(const std::string& url);

// Receives the progress of every transfer of the process (file, bytes sent, bytes in all).
// The command-line program draws its progress bar with it. Empty: none.
using ProgressListener = std::function<void(const std::string&, uint64_t, uint64_t)>;
void setProgressListener(ProgressListener listener);

// Test seam. While a recorder is set, every gateway operation is first shown to it, in
// calling order ("create", "initialize", the setters, "setActiveMode", "disableActiveMode",
// "connect", "uploadFile", "disConnet", "destroy") with its arguments as texts. When it
// returns an answer, the gateway takes that as the operation's outcome instead of doing
// the work; with none, the gateway goes on as usual.
struct Answer {
    int result = 0;
    int curlCode = 0;
    std::string curlText, errorMsg;
};
using Recorder = std::function<std::optional<Answer>(const std::string& call,
                                                     const std::vector<std::string>& args)>;
void setRecorderForTests(Recorder recorder);  // empty: none

}  // namespace gateway
}  // namespace host
