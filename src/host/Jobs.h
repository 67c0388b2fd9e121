// Job and client services of the host: job results directory and the remote-client proxy.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/Error.h"
#include "host/RemoteClients.h"

// Job results directory of a client: Base/dJOBRESULTSDIR for this physical machine,
// Clients/<name>/dJobResultsDir for another client (registry, focused instance).
class WYPI_CommClient {
  public:
    void setFocus(const char* instance);
    // True and a non-empty dir when known. dir/extra1/extra2 are size-byte buffers.
    bool getJobResultsDirectory(const char* machine, char* dir, char* extra1, char* extra2,
                                int size);
    // Empty when unknown.
    std::string getJobResultsDirectory(const char* machine);

  private:
    std::string instance_;
};

// A remote client reached through the proxy: a connection to that client's own service
// (host/RemoteClients.h; registry Clients/<id>/sServiceAddress). One handle is one
// client; each operation carries one request, over the connection instanceForClient opened
// or a new one.
class ProxyServices {
  public:
    // Connects to the client's service; empty (the reason logged) when the client has no
    // usable address, no connector is installed or the service cannot be reached within
    // the connect limit.
    static boost::shared_ptr<ProxyServices> instanceForClient(unsigned long threadId,
                                                              unsigned long clientId, int reserved,
                                                              bool a, bool b);
    // Fills localFolder (created, empty) with the client's log files and, in its subfolder
    // "jobResults", the client's job results directory: all of it, or nothing when the
    // transfer or the bundle fails. The options word is not forwarded: the client is always
    // asked for its product logs and job results, unscrubbed, and the request on this
    // machine decides what of them to use.
    CTeError downloadLogFiles(const std::string& localFolder, uint64_t options);
    // Creates the folder path (absolute, on the client), whose parent must exist there.
    CTeError createNewFolder(const std::string& path);

    ProxyServices(host::RemoteClientTarget target,
                  std::shared_ptr<host::RemoteClientConnector> connector,
                  std::unique_ptr<host::RemoteClientLink> link);
    ~ProxyServices();

  private:
    // The connection for the next request: the open one, or a new one.
    std::unique_ptr<host::RemoteClientLink> takeLink(CTeError& error);

    host::RemoteClientTarget target_;
    std::shared_ptr<host::RemoteClientConnector> connector_;
    std::unique_ptr<host::RemoteClientLink> link_;
};

namespace host {
// The job results directory of this physical machine, as the focused communications client
// knows it; empty when unknown. machine receives this machine's client name (empty when
// none) for the caller's messages.
std::string thisMachineJobResultsDirectory(std::string& machine);
}  // namespace host
