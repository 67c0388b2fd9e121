// Remote clients: the machines this one reaches through its proxy services. Where a client's
// service listens and with which certificate this machine asks it come from the registry;
// the conversation itself belongs to whoever speaks the service's request records, which
// installs a connector here at start-up (the host cannot call up into that layer).
#pragma once

#include <memory>
#include <string>

#include "host/Error.h"
#include "host/Tcp.h"
#include "host/Tls.h"

namespace host {

// How to reach one remote client's service.
struct RemoteClientTarget {
    unsigned long clientId = 0;
    Endpoint address;  // Clients/<id>/sServiceAddress
    TlsFiles tls;      // this machine's requester certificate, its key and the CA
    int connectMs = 10000;
    int idleMs = 600000;
};

// Reads the target of clientId from the focused instance's registry (docs/registry.md,
// "Remote clients"). False with a reason when the client has no usable service address.
bool lookUpRemoteClient(unsigned long clientId, RemoteClientTarget& out, std::string& error);

// One open connection to a remote client's service; it carries exactly one request.
class RemoteClientLink {
  public:
    virtual ~RemoteClientLink() = default;
    // Asks for the client's product logs and job results as one bundle and writes the bundle
    // it sends, whole and checked, to bundlePath (created; must not exist). jobResultsPrefix
    // receives the member path under which the bundle holds the client's job results
    // directory (empty when the client has none).
    virtual CTeError fetchLogBundle(const std::string& bundlePath,
                                    std::string& jobResultsPrefix) = 0;
    // Asks the client to create the folder path (absolute, on the client).
    virtual CTeError createFolder(const std::string& path) = 0;
};

class RemoteClientConnector {
  public:
    virtual ~RemoteClientConnector() = default;
    // Connects to the target's service within its connect limit; null with a reason.
    virtual std::unique_ptr<RemoteClientLink> connect(const RemoteClientTarget& target,
                                                      std::string& error) = 0;
};

// The connector the proxy services use; null (the default) leaves every remote client
// unreachable. Thread-safe.
void setRemoteClientConnector(std::shared_ptr<RemoteClientConnector> connector);
std::shared_ptr<RemoteClientConnector> remoteClientConnector();

}  // namespace host
