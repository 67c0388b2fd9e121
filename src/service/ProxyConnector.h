// The connector behind the host's remote-client proxy: a remote client is asked through its
// own network service, with request records over TLS. Installed into the host at start-up.
#pragma once

#include <memory>

#include "host/RemoteClients.h"

namespace service {

// The connector: each link is one TLS connection to a client's service, made with the
// target's requester certificate, carrying one proxy-download or create-folder request.
std::shared_ptr<host::RemoteClientConnector> makeProxyConnector();

// Installs makeProxyConnector() as the host's connector. Every process that links this
// layer installs it when it starts (the shared library when it is loaded); the program
// calls this as well, which also keeps the static registration linked in.
void installProxyConnector();

}  // namespace service
