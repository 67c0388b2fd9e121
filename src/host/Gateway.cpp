// The upload gateway: the operations the library calls, their test seam and the log lines.
// The transfers themselves are in GatewayTransfer.cpp.
#include "host/Gateway.h"

#include <curl/curl.h>

#include <mutex>

#include "host/GatewayTransfer.h"
#include "host/Log.h"

namespace host {
namespace gateway {
namespace {

std::mutex g_mutex;
Recorder g_recorder;
ProgressListener g_progress;

std::optional<Answer> consult(const std::string& call, const std::vector<std::string>& args) {
    Recorder recorder;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        recorder = g_recorder;
    }
    if (!recorder) return std::nullopt;
    return recorder(call, args);
}

}  // namespace

void setRecorderForTests(Recorder recorder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_recorder = std::move(recorder);
}

void setProgressListener(ProgressListener listener) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_progress = std::move(listener);
}

void reportProgress(const std::string& file, uint64_t sent, uint64_t total) {
    ProgressListener listener;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        listener = g_progress;
    }
    if (listener) listener(file, sent, total);
}

std::string loggableUrl(const std::string& url) {
    size_t scheme = url.find("://");
    size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    size_t end = url.find_first_of("/?#", start);
    size_t at = url.rfind('@', end == std::string::npos ? std::string::npos : end);
    if (at == std::string::npos || at < start) return url;
    return url.substr(0, start) + "***" + url.substr(at);
}

}  // namespace gateway
}  // namespace host

namespace LIBCURL {

namespace {
const char* const kTag = "LIBCURL::WyInternetGateway";

int answer(const host::gateway::Answer& a, int& code, std::string& text, std::string& message) {
    code = a.curlCode;
    text = a.curlText;
    message = a.errorMsg;
    return a.result;
}
}  // namespace

WyInternetGateway::WyInternetGateway(EvDebug* log) : log_(log) {
    host::gateway::consult("create", {});
}

WyInternetGateway::~WyInternetGateway() {
    host::gateway::consult("destroy", {});
}

void WyInternetGateway::note(const char* call, const std::string& argument) {
    host::gateway::consult(call, {argument});
}

void WyInternetGateway::fail(int code, const std::string& text, const std::string& message) {
    lastCode_ = code;
    lastText_ = text;
    errorMsg_ = message;
    if (log_) log_->Error(kTag, "%s", message.c_str());
}

int WyInternetGateway::initialize(ProtocolType protocol, JobType job) {
    if (auto a = host::gateway::consult(
            "initialize", {std::to_string(static_cast<int>(protocol)), std::to_string(job)})) {
        initialized_ = a->result == 0;
        protocol_ = protocol;
        return answer(*a, lastCode_, lastText_, errorMsg_);
    }
    if (protocol != PROTOCOL_FTP && protocol != PROTOCOL_HTTP) {
        fail(CURLE_UNSUPPORTED_PROTOCOL, "unknown protocol code",
             "Unknown protocol code " + std::to_string(static_cast<int>(protocol)));
        return -1;
    }
    if (job != JOB_UPLOAD) {
        fail(CURLE_FAILED_INIT, "unsupported job type",
             "Job type " + std::to_string(static_cast<int>(job)) + " is not supported");
        return -1;
    }
    std::string error;
    transfer_ = Transfer::create(error);
    if (!transfer_) {
        fail(CURLE_FAILED_INIT, error, "Cannot set up the transfer library: " + error);
        return -1;
    }
    protocol_ = protocol;
    initialized_ = true;
    return 0;
}

int WyInternetGateway::setActiveMode(const std::string& address, const std::string& ports) {
    if (auto a = host::gateway::consult("setActiveMode", {address, ports})) {
        if (a->result == 0) activeAddress_ = address;
        return answer(*a, lastCode_, lastText_, errorMsg_);
    }
    if (!initialized_ || protocol_ != PROTOCOL_FTP) {
        fail(CURLE_FAILED_INIT, "not an FTP gateway",
             "Active mode needs an initialised FTP gateway");
        return -1;
    }
    // curl's port option: an address ("-" for that of the control connection), then the
    // port range after a colon.
    std::string where = address.empty() ? "-" : address;
    if (!ports.empty()) where += ":" + ports;
    activeAddress_ = where;
    return 0;
}

int WyInternetGateway::disableActiveMode() {
    if (auto a = host::gateway::consult("disableActiveMode", {})) {
        activeAddress_.reset();
        return answer(*a, lastCode_, lastText_, errorMsg_);
    }
    if (!initialized_ || protocol_ != PROTOCOL_FTP) {
        fail(CURLE_FAILED_INIT, "not an FTP gateway",
             "Passive mode needs an initialised FTP gateway");
        return -1;
    }
    activeAddress_.reset();
    return 0;
}

int WyInternetGateway::connect() {
    if (auto a = host::gateway::consult("connect", {}))
        return answer(*a, lastCode_, lastText_, errorMsg_);
    if (!initialized_ || !transfer_) {
        fail(CURLE_FAILED_INIT, "not initialised", "connect() before initialize()");
        return -1;
    }
    TransferSettings settings{protocol_, &base_, secured_, activeAddress_, log_};
    TransferError error;
    if (transfer_->connect(settings, error) == 0) return 0;
    fail(error.code, error.text, error.message);
    return -1;
}

int WyInternetGateway::uploadFile(const std::string& localFile, const std::string& target,
                                  std::vector<WyCURL::commandInfo> commands) {
    std::vector<std::string> args = {localFile, target};
    for (const auto& c : commands) args.push_back(c.command);
    if (auto a = host::gateway::consult("uploadFile", args))
        return answer(*a, lastCode_, lastText_, errorMsg_);
    if (!initialized_ || !transfer_) {
        fail(CURLE_FAILED_INIT, "not initialised", "uploadFile() before initialize()");
        return -1;
    }
    TransferSettings settings{protocol_, &base_, secured_, activeAddress_, log_};
    TransferError error;
    if (transfer_->upload(settings, localFile, target, commands, error) == 0) {
        lastCode_ = 0;
        lastText_.clear();
        errorMsg_.clear();
        return 0;
    }
    fail(error.code, error.text, error.message);
    return -1;
}

void WyInternetGateway::disConnet() {
    host::gateway::consult("disConnet", {});
    transfer_.reset();
}

void WyInternetGateway::getLastCurlErrorCodeAndErrorMsg(int& code, std::string& text) {
    code = lastCode_;
    text = lastText_;
}

std::string WyInternetGateway::getErrorMsg() {
    return errorMsg_;
}

}  // namespace LIBCURL
