// Transfers of the upload gateway on libcurl. The file is read from disk block by block as
// libcurl sends it; credentials go to libcurl as options, never into a URL or a log line.
#include "host/GatewayTransfer.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <mutex>

#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/Registry.h"

namespace LIBCURL {
namespace {

const char* const kTag = "LIBCURL::WyInternetGateway";
constexpr long kConnectTimeoutSeconds = 30;
// A transfer that moves less than one byte a second for this long is given up.
constexpr long kStallSeconds = 60;

// Host settings of the gateway (registry key "InternetOptions" of the focused instance).
struct GatewayConfig {
    std::string proxyUrl, proxyUser, proxyPassword, caFile;
};

GatewayConfig readConfig() {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    GatewayConfig config;
    info.getString("InternetOptions", "sProxyURL", config.proxyUrl);
    info.getString("InternetOptions", "sProxyUser", config.proxyUser);
    info.getString("InternetOptions", "sProxyPassword", config.proxyPassword);
    info.getString("InternetOptions", "sCAFile", config.caFile);
    return config;
}

std::string schemeOf(const std::string& url) {
    size_t colon = url.find("://");
    if (colon == std::string::npos) return std::string();
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme;
}

// The URL with a scheme: "ftp" by default for FTP; for HTTP "https" when secured (an
// "http://" URL is upgraded), "http" otherwise.
std::string withScheme(const std::string& url, ProtocolType protocol, bool secured) {
    std::string scheme = schemeOf(url);
    if (protocol == PROTOCOL_FTP) return scheme.empty() ? "ftp://" + url : url;
    if (scheme.empty()) return (secured ? "https://" : "http://") + url;
    if (secured && scheme == "http") return "https" + url.substr(4);
    return url;
}

std::string withSlash(std::string url) {
    if (url.empty() || url.back() != '/') url += '/';
    return url;
}

std::string escape(CURL* easy, const std::string& text) {
    char* escaped = curl_easy_escape(easy, text.c_str(), static_cast<int>(text.size()));
    std::string out = escaped ? escaped : "";
    curl_free(escaped);
    return out;
}

// A name sent as one path component to the server.
bool safeComponent(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

std::string baseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

template <typename T>
void set(CURL* easy, CURLoption option, T value) {
    curl_easy_setopt(easy, option, value);
}

// Options every request of a gateway carries.
void applyCommon(CURL* easy, char* errorBuffer, const TransferSettings& s,
                 const GatewayConfig& config) {
    curl_easy_reset(easy);  // keeps the open connections
    errorBuffer[0] = '\0';
    set(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    set(easy, CURLOPT_NOSIGNAL, 1L);
    set(easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    set(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(easy, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    set(easy, CURLOPT_USERNAME, s.base->userName().c_str());
    set(easy, CURLOPT_PASSWORD, s.base->password().c_str());
    set(easy, CURLOPT_PROTOCOLS_STR, s.protocol == PROTOCOL_FTP ? "ftp,ftps" : "http,https");
    // An empty proxy also keeps libcurl from taking one from the environment.
    set(easy, CURLOPT_PROXY, config.proxyUrl.c_str());
    if (!config.proxyUser.empty()) {
        set(easy, CURLOPT_PROXYUSERNAME, config.proxyUser.c_str());
        set(easy, CURLOPT_PROXYPASSWORD, config.proxyPassword.c_str());
        set(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
    if (!config.caFile.empty()) set(easy, CURLOPT_CAINFO, config.caFile.c_str());
    if (s.protocol == PROTOCOL_FTP) {
        set(easy, CURLOPT_FTPPORT, s.activeAddress ? s.activeAddress->c_str() : nullptr);
        set(easy, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR_RETRY));
        set(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, kStallSeconds);
        if (!config.proxyUrl.empty()) set(easy, CURLOPT_HTTPPROXYTUNNEL, 1L);
    } else {
        set(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
}

std::string responseText(long code) {
    return "Response code from server: [" + std::to_string(code) + "]";
}

// Fills error from a failed perform: libcurl's code and text, and the gateway's message,
// which names a refusing proxy's status.
void describe(CURL* easy, CURLcode rc, const char* errorBuffer, const std::string& what,
              TransferError& error) {
    error.code = static_cast<int>(rc);
    error.text = errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc);
    error.message = what + ": " + error.text;
    long connectCode = 0, responseCode = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &responseCode);
    long status = connectCode >= 400 ? connectCode : responseCode >= 400 ? responseCode : 0;
    if (status) error.message += ". " + responseText(status);
}

struct Progress {
    std::string file;
    uint64_t total = 0;
    int shownTenth = -1;
    EvDebug* log = nullptr;
};

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t sentNow) {
    auto* p = static_cast<Progress*>(user);
    uint64_t sent = sentNow > 0 ? static_cast<uint64_t>(sentNow) : 0;
    host::gateway::reportProgress(p->file, sent, p->total);
    int tenth = p->total ? static_cast<int>(sent * 10 / p->total) : 10;
    if (tenth > p->shownTenth && p->log) {
        p->shownTenth = tenth;
        p->log->DebugLvl(kTag, 3, "Sent %llu of %llu bytes of [%s]",
                         static_cast<unsigned long long>(sent),
                         static_cast<unsigned long long>(p->total), p->file.c_str());
    }
    return 0;
}

size_t readBlock(char* buffer, size_t size, size_t count, void* user) {
    FILE* file = static_cast<FILE*>(user);
    size_t got = std::fread(buffer, 1, size * count, file);
    return got == 0 && std::ferror(file) ? CURL_READFUNC_ABORT : got;
}

int seekFile(void* user, curl_off_t offset, int origin) {
    return fseeko(static_cast<FILE*>(user), static_cast<off_t>(offset), origin) == 0
               ? CURL_SEEKFUNC_OK
               : CURL_SEEKFUNC_FAIL;
}

CURLcode globalInit() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result;
}

// The URL a file is sent to, or an empty text with error filled.
std::string uploadUrl(CURL* easy, const TransferSettings& s, const std::string& localFile,
                      const std::string& target, TransferError& error) {
    std::string name = baseName(localFile);
    if (s.protocol == PROTOCOL_FTP) {
        // The corvane id names the folder the file goes into.
        if (!target.empty() && !safeComponent(target)) {
            error = {CURLE_URL_MALFORMAT, "bad folder name",
                     "Refusing folder name [" + target + "]: not one path component"};
            return std::string();
        }
        std::string url = withSlash(withScheme(s.base->url(), s.protocol, s.secured));
        if (!target.empty()) url += escape(easy, target) + "/";
        return url + escape(easy, name);
    }
    std::string url = withScheme(target.empty() ? s.base->url() : target, s.protocol, s.secured);
    std::string handler = s.base->serverHandler();
    while (!handler.empty() && handler[0] == '/') handler.erase(0, 1);
    if (!handler.empty()) url = withSlash(url) + handler;
    url += url.find('?') == std::string::npos ? '?' : '&';
    return url + "corvaneId=" + escape(easy, s.base->corvaneId()) +
           "&fileName=" + escape(easy, name);
}

}  // namespace

std::unique_ptr<WyInternetGateway::Transfer> WyInternetGateway::Transfer::create(
    std::string& error) {
    CURLcode rc = globalInit();
    if (rc != CURLE_OK) {
        error = curl_easy_strerror(rc);
        return nullptr;
    }
    auto transfer = std::make_unique<Transfer>();
    transfer->easy = curl_easy_init();
    if (!transfer->easy) {
        error = "curl_easy_init failed";
        return nullptr;
    }
    return transfer;
}

WyInternetGateway::Transfer::~Transfer() {
    if (easy) curl_easy_cleanup(easy);
}

int WyInternetGateway::Transfer::connect(const TransferSettings& s, TransferError& error) {
    GatewayConfig config = readConfig();
    std::string url = withScheme(s.base->url(), s.protocol, s.secured);
    if (s.base->url().empty()) {
        error = {CURLE_URL_MALFORMAT, "no URL", "No upload URL was set"};
        return -1;
    }
    if (s.protocol == PROTOCOL_FTP) {
        // Logs in and changes to the folder of the URL; the upload reuses the connection.
        applyCommon(easy, errorBuffer, s, config);
        url = withSlash(url);
        set(easy, CURLOPT_NOBODY, 1L);
        return perform(easy, errorBuffer, url, s.log, error);
    }
    if (!config.proxyUrl.empty()) return 0;  // the proxy is reached by the upload itself
    // Opens a connection (TLS included) to the server without a request, on a handle of its
    // own: a connect-only connection is never reused for a transfer.
    std::unique_ptr<CURL, void (*)(CURL*)> probe(curl_easy_init(), curl_easy_cleanup);
    if (!probe) {
        error = {CURLE_FAILED_INIT, "curl_easy_init failed", "Cannot set up a connection"};
        return -1;
    }
    char probeError[CURL_ERROR_SIZE];
    applyCommon(probe.get(), probeError, s, config);
    set(probe.get(), CURLOPT_CONNECT_ONLY, 1L);
    return perform(probe.get(), probeError, url, s.log, error);
}

int WyInternetGateway::Transfer::perform(CURL* handle, char* handleError, const std::string& url,
                                         EvDebug* log, TransferError& error) {
    set(handle, CURLOPT_URL, url.c_str());
    const std::string shown = host::gateway::loggableUrl(url);
    if (log) log->DebugLvl(kTag, 3, "Connecting to [%s]", shown.c_str());
    CURLcode rc = curl_easy_perform(handle);
    if (rc == CURLE_OK) return 0;
    describe(handle, rc, handleError, "Cannot connect to [" + shown + "]", error);
    return -1;
}

int WyInternetGateway::Transfer::upload(const TransferSettings& s, const std::string& localFile,
                                        const std::string& target,
                                        const std::vector<WyCURL::commandInfo>& commands,
                                        TransferError& error) {
    host::FileHandle file = host::FileHandle::open(localFile.c_str(), "rb");
    struct stat st;
    if (!file || fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = {CURLE_READ_ERROR, std::strerror(file ? EINVAL : errno),
                 "Cannot read [" + localFile + "]: not a readable regular file"};
        return -1;
    }
    GatewayConfig config = readConfig();
    applyCommon(easy, errorBuffer, s, config);
    std::string url = uploadUrl(easy, s, localFile, target, error);
    if (url.empty()) return -1;
    const std::string shown = host::gateway::loggableUrl(url);
    const auto size = static_cast<curl_off_t>(st.st_size);

    set(easy, CURLOPT_URL, url.c_str());
    set(easy, CURLOPT_READFUNCTION, readBlock);
    set(easy, CURLOPT_READDATA, file.get());
    set(easy, CURLOPT_SEEKFUNCTION, seekFile);
    set(easy, CURLOPT_SEEKDATA, file.get());
    Progress progress{localFile, static_cast<uint64_t>(size), -1, s.log};
    set(easy, CURLOPT_NOPROGRESS, 0L);
    set(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    set(easy, CURLOPT_XFERINFODATA, &progress);

    struct curl_slist* headers = nullptr;
    struct curl_slist* before = nullptr;
    struct curl_slist* after = nullptr;
    if (s.protocol == PROTOCOL_FTP) {
        set(easy, CURLOPT_UPLOAD, 1L);
        set(easy, CURLOPT_INFILESIZE_LARGE, size);
        for (const auto& c : commands)
            (c.afterTransfer ? after : before) =
                curl_slist_append(c.afterTransfer ? after : before, c.command.c_str());
        if (before) set(easy, CURLOPT_QUOTE, before);
        if (after) set(easy, CURLOPT_POSTQUOTE, after);
    } else {
        set(easy, CURLOPT_POST, 1L);
        set(easy, CURLOPT_POSTFIELDSIZE_LARGE, size);
        headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
        set(easy, CURLOPT_HTTPHEADER, headers);
    }
    if (s.log)
        s.log->DebugLvl(kTag, 2, "Uploading [%s] (%lld bytes) to [%s]", localFile.c_str(),
                        static_cast<long long>(size), shown.c_str());
    CURLcode rc = curl_easy_perform(easy);
    curl_off_t sent = 0;
    curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &sent);
    long response = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response);
    curl_slist_free_all(headers);
    curl_slist_free_all(before);
    curl_slist_free_all(after);
    set(easy, CURLOPT_READDATA, nullptr);
    set(easy, CURLOPT_SEEKDATA, nullptr);
    set(easy, CURLOPT_XFERINFODATA, nullptr);

    const std::string what = "Upload of [" + localFile + "] to [" + shown + "] failed";
    if (rc != CURLE_OK) {
        describe(easy, rc, errorBuffer, what, error);
        return -1;
    }
    if (s.protocol == PROTOCOL_HTTP && (response < 200 || response > 299)) {
        error = {CURLE_HTTP_RETURNED_ERROR, responseText(response),
                 what + ". " + responseText(response)};
        return -1;
    }
    if (sent != size) {
        error = {CURLE_PARTIAL_FILE, "short upload",
                 what + ": " + std::to_string(sent) + " of " + std::to_string(size) +
                     " bytes were sent"};
        return -1;
    }
    return 0;
}

}  // namespace LIBCURL
