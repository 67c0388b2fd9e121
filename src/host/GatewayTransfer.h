// The libcurl side of the upload gateway: one easy handle per gateway, so that the
// connection opened by connect() carries the upload that follows.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/Gateway.h"

namespace LIBCURL {

struct TransferSettings {
    ProtocolType protocol;
    const WyInternetBase* base;
    bool secured;
    const std::optional<std::string>& activeAddress;  // set: active FTP
    EvDebug* log;
};

struct TransferError {
    int code = 0;
    std::string text;     // the transfer library's text
    std::string message;  // the gateway's description
};

struct WyInternetGateway::Transfer {
    static std::unique_ptr<Transfer> create(std::string& error);
    ~Transfer();
    int connect(const TransferSettings& settings, TransferError& error);
    int upload(const TransferSettings& settings, const std::string& localFile,
               const std::string& target, const std::vector<WyCURL::commandInfo>& commands,
               TransferError& error);
    static int perform(CURL* handle, char* handleError, const std::string& url, EvDebug* log,
                       TransferError& error);

    CURL* easy = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

}  // namespace LIBCURL

namespace host {
namespace gateway {
// Hands a transfer's progress to the listener of the process, if any.
void reportProgress(const std::string& file, uint64_t sent, uint64_t total);
}  // namespace gateway
}  // namespace host
