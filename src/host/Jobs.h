// Job and client services of the host: job results directory, the remote-client proxy,
// job result records. The proxy and result generation stand in for the central server.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "host/Error.h"

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

// A remote client reached through the proxy. Stand-in: the client's files come from the
// folder named by the registry value Clients/<id>/dProxyFolder; with none, no handle.
class ProxyServices {
  public:
    static boost::shared_ptr<ProxyServices> instanceForClient(unsigned long threadId,
                                                              unsigned long clientId, int reserved,
                                                              bool a, bool b);
    // Copies the client's log files (and its "jobResults" subfolder) into localFolder.
    CTeError downloadLogFiles(const std::string& localFolder, uint64_t options);
    CTeError createNewFolder(const std::string& path);

    explicit ProxyServices(std::string source) : source_(std::move(source)) {}

  private:
    std::string source_;
};

namespace host {
// The job results directory of this physical machine, as the focused communications client
// knows it; empty when unknown. machine receives this machine's client name (empty when
// none) for the caller's messages.
std::string thisMachineJobResultsDirectory(std::string& machine);
}  // namespace host
