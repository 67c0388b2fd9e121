// Registry settings of remote clients and the installed connector.
#include "host/RemoteClients.h"

#include <mutex>

#include "host/Log.h"
#include "host/Registry.h"

namespace host {
namespace {

const char* const kTag = "lookUpRemoteClient";
const char* const kKey = "RemoteClients";

// Where an installation keeps its requester certificate unless the registry says otherwise;
// the service's own files live beside them (packaging/sendlogs-serve.service).
const char* const kDefaultCa = "/etc/sendlogs/ca.pem";
const char* const kDefaultCert = "/etc/sendlogs/requester.pem";
const char* const kDefaultKey = "/etc/sendlogs/requester.key";

std::mutex connectorMutex;
std::shared_ptr<RemoteClientConnector>& installedConnector() {
    static std::shared_ptr<RemoteClientConnector> connector;
    return connector;
}

std::string stringOr(WYPlatformInfo& info, const char* key, const char* value,
                     const char* fallback) {
    std::string text;
    if (!info.getString(key, value, text) || text.empty()) return fallback;
    return text;
}

// Seconds from the registry as milliseconds; a value outside [1, maxSeconds] is logged and
// the default used.
int secondsOr(WYPlatformInfo& info, const char* value, long fallback, long maxSeconds) {
    long seconds = 0;
    if (!info.getNumber(kKey, value, seconds)) return static_cast<int>(fallback * 1000);
    if (seconds < 1 || seconds > maxSeconds) {
        EvDebug().Error(kTag, "%s/%s of %ld seconds is outside 1 to %ld; using %ld", kKey, value,
                        seconds, maxSeconds, fallback);
        seconds = fallback;
    }
    return static_cast<int>(seconds * 1000);
}

}  // namespace

bool lookUpRemoteClient(unsigned long clientId, RemoteClientTarget& out, std::string& error) {
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    const std::string clientKey = "Clients/" + std::to_string(clientId);
    std::string address;
    if (!info.getString(clientKey.c_str(), "sServiceAddress", address) || address.empty()) {
        error = "no service address for client " + std::to_string(clientId) + " (" + clientKey +
                "/sServiceAddress)";
        return false;
    }
    RemoteClientTarget target;
    target.clientId = clientId;
    if (!parseEndpoint(address, target.address, error)) {
        error = clientKey + "/sServiceAddress: " + error;
        return false;
    }
    target.tls.ca = stringOr(info, kKey, "sCAFile", kDefaultCa);
    target.tls.cert = stringOr(info, kKey, "sCertFile", kDefaultCert);
    target.tls.key = stringOr(info, kKey, "sKeyFile", kDefaultKey);
    target.connectMs = secondsOr(info, "nConnectTimeout", 10, 3600);
    target.idleMs = secondsOr(info, "nIdleTimeout", 600, 86400);
    out = target;
    return true;
}

void setRemoteClientConnector(std::shared_ptr<RemoteClientConnector> connector) {
    std::lock_guard<std::mutex> lock(connectorMutex);
    installedConnector() = std::move(connector);
}

std::shared_ptr<RemoteClientConnector> remoteClientConnector() {
    std::lock_guard<std::mutex> lock(connectorMutex);
    return installedConnector();
}

}  // namespace host
