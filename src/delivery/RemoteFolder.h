// Creating a folder while the requester browses a client's file system: on this machine
// through the host's own service, on a client behind the proxy through the proxy services.
// The outcome travels to the requester as a browse reply (docs/wire-protocol.md).
#pragma once

#include <cstdint>

#include "host/Export.h"
#include "host/Net.h"

SL_API void unixBrowseCreateNewFolder(char* path, CTeSocket socket, int64_t requestId,
                                      unsigned int clientId, CWyNetwork* network);
