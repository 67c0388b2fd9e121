// One file, one gateway: create, initialise, set the parameters, (FTP: transfer mode),
// connect, upload, disconnect, destroy.
#include <string>

#include "delivery/Upload.h"
#include "host/Log.h"

namespace {

const char* const kFtpTag =
    "int uploadWithFtp(const char*, const char*, const char*, int, const char*, const char*)";
const char* const kHttpTag =
    "int uploadWithHttp(const char*, const char*, const char*, const char*, const char*, int, "
    "const char*)";
const char* const kProxyRefused = "Response code from server: [407]";

struct LastError {
    int code = 0;
    std::string text;
};

LastError lastError(LIBCURL::WyInternetGateway& gateway) {
    LastError e;
    gateway.getLastCurlErrorCodeAndErrorMsg(e.code, e.text);
    return e;
}

// The first parameter that is missing, by its message; null when all are there.
const char* firstMissing(std::initializer_list<std::pair<const char*, const char*>> checks) {
    for (const auto& [value, message] : checks)
        if (!value) return message;
    return nullptr;
}

}  // namespace

int uploadWithFtp(const char* url, const char* user, const char* password, int passive,
                  const char* corvaneId, const char* localFile) {
    EvDebug log;
    if (const char* missing = firstMissing({{url, "ftpUploadUrl isn't set"},
                                            {user, "ftpUploadUrlUser isn't set"},
                                            {password, "ftpUploadUrlPassword isn't set"},
                                            {corvaneId, "corvaneID isn't set"},
                                            {localFile, "ftp upload path isn't set"}})) {
        log.Error(kFtpTag, "%s", missing);
        return -1;
    }
    EvDebug gatewayLog;
    LIBCURL::WyInternetGateway gateway(&gatewayLog);
    if (gateway.initialize(LIBCURL::PROTOCOL_FTP, LIBCURL::JOB_UPLOAD) != 0) {
        LastError e = lastError(gateway);
        log.Error(kFtpTag,
                  "Lib curl wrapper initialization failed. Error Code [%d], Error Message [%s]",
                  e.code, e.text.c_str());
        return -1;
    }
    log.Debug(kFtpTag, "Lib curl wrapper initialized successfully");
    gateway.setURL(url);
    gateway.setURLUserName(user);
    gateway.setURLPassword(password);
    gateway.setCorvaneID(corvaneId);

    if (passive ? gateway.disableActiveMode() != 0 : gateway.setActiveMode("", "") != 0) {
        LastError e = lastError(gateway);
        log.Error(kFtpTag,
                  passive ? "FTP passive mode failed to initialize. Error Code [%d], Error "
                            "Message [%s]"
                          : "FTP Active mode failed to initialize. Error Code [%d], Error "
                            "Message [%s]",
                  e.code, e.text.c_str());
        return -1;
    }
    const std::string shownUrl = host::gateway::loggableUrl(url);
    if (gateway.connect() != 0) {
        LastError e = lastError(gateway);
        log.Error(kFtpTag,
                  "Failed to establish ftp connection. Error Code [%d], Error Message [%s]", e.code,
                  e.text.c_str());
        gateway.disConnet();
        return -1;
    }
    log.Debug(kFtpTag, "FTP Connection established successfully.");
    if (gateway.uploadFile(localFile, corvaneId, {}) == 0) {
        log.Debug(kFtpTag, "File [%s] uploaded successfully to [%s].", localFile, shownUrl.c_str());
        gateway.disConnet();
        return 0;
    }
    LastError e = lastError(gateway);
    log.Error(kFtpTag, "Failed to upload file [%s] to [%s]. Error Code [%d], Error Message [%s]",
              localFile, shownUrl.c_str(), e.code, e.text.c_str());
    gateway.disConnet();
    return -1;
}

int uploadWithHttp(const char* url, const char* user, const char* password,
                   const char* serverHandler, const char* corvaneId, int secured,
                   const char* localFile) {
    EvDebug log;
    // Checked in the reverse of the parameter order.
    if (const char* missing = firstMissing({{localFile, "upload file path isn't set"},
                                            {corvaneId, "corvaneID isn't set"},
                                            {serverHandler, "httpUploadUrlHandler isn't set"},
                                            {password, "httpUploadUrlPassword isn't set"},
                                            {user, "httpUploadUrlUser isn't set"},
                                            {url, "httpUploadUrl isn't set"}})) {
        log.Error(kHttpTag, "%s", missing);
        return -1;
    }
    EvDebug gatewayLog;
    LIBCURL::WyInternetGateway gateway(&gatewayLog);
    if (gateway.initialize(LIBCURL::PROTOCOL_HTTP, LIBCURL::JOB_UPLOAD) != 0) {
        LastError e = lastError(gateway);
        log.Debug(kHttpTag,
                  "Lib curl wrapper initialization failed. Error Code [%d], Error Message [%s]",
                  e.code, e.text.c_str());
        return -1;
    }
    log.Debug(kHttpTag, "Lib curl wrapper initialized successfully");
    gateway.setURL(url);
    gateway.setURLUserName(user);
    gateway.setURLPassword(password);
    gateway.setServerHandler(serverHandler);
    gateway.setCorvaneID(corvaneId);
    gateway.setSecured(secured != 0);

    if (gateway.connect() != 0) {
        LastError e = lastError(gateway);
        log.Debug(kHttpTag,
                  "Failed to establish http connection. Error Code [%d], Error Message [%s]",
                  e.code, e.text.c_str());
        return -1;
    }
    log.Debug(kHttpTag, "HTTP Connection established successfully.");
    const std::string shownUrl = host::gateway::loggableUrl(url);
    if (gateway.uploadFile(localFile, url, {}) == 0) {
        log.Debug(kHttpTag, "File [%s] uploaded successfully to [%s].", localFile,
                  shownUrl.c_str());
        gateway.disConnet();
        return 0;
    }
    if (gateway.getErrorMsg().find(kProxyRefused) != std::string::npos) {
        log.Debug(kHttpTag,
                  "Failed to upload file[%s] to[%s].Error[Proxy Authentication Required / "
                  "Incorrect]",
                  localFile, shownUrl.c_str());
    } else {
        LastError e = lastError(gateway);
        log.Debug(kHttpTag,
                  "Failed to upload file [%s] to [%s]. Error Code [%d], Error Message [%s]",
                  localFile, shownUrl.c_str(), e.code, e.text.c_str());
    }
    gateway.disConnet();
    return -1;
}
