// The requester's side of the network service: one request record sent over TLS, the
// replies read back into a sink.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "host/Net.h"
#include "host/Tcp.h"
#include "host/Tls.h"
#include "service/RequestRecord.h"

namespace service {

struct RemoteLimits {
    std::chrono::milliseconds connect = std::chrono::seconds(10);  // per address tried
    std::chrono::milliseconds idle = std::chrono::seconds(120);    // longest silence of the service
};

// Connects to the service at endpoint (its certificate must name endpoint.host), sends the
// request and hands every reply record and streamed file to sink until the service ends
// the stream. False with a reason when the request could not be sent, the service refused
// it (the reason it gave), or the reply stream broke or ended without the service's close.
// tls must be a requester context.
bool runRemoteRequest(const host::Endpoint& endpoint, const std::shared_ptr<host::TlsContext>& tls,
                      const RequestValues& values, const RemoteLimits& limits,
                      host::ReplySink& sink, std::string& error);

}  // namespace service
