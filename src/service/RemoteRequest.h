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

// Connects to the service at endpoint (TCP within limits.connect per address, then the
// handshake within limits.idle: a busy service takes a connection's handshake only when a
// worker is free). Null with a reason. tls must be a requester context.
std::shared_ptr<host::TlsConnection> connectToService(const host::Endpoint& endpoint,
                                                      const std::shared_ptr<host::TlsContext>& tls,
                                                      const RemoteLimits& limits,
                                                      std::string& error);
// Sends a request frame (encodeRequestFrame) over a fresh connection and hands every reply
// to sink until the service ends the stream; then closes the connection. False with a
// reason as runRemoteRequest.
bool exchangeRequest(host::TlsConnection& connection, const std::string& frame,
                     host::ReplySink& sink, std::string& error);

// Connects to the service at endpoint (its certificate must name endpoint.host), sends the
// request and hands every reply record and streamed file to sink until the service ends
// the stream. False with a reason when the request could not be sent, the service refused
// it (the reason it gave), or the reply stream broke or ended without the service's close.
// tls must be a requester context.
bool runRemoteRequest(const host::Endpoint& endpoint, const std::shared_ptr<host::TlsContext>& tls,
                      const RequestValues& values, const RemoteLimits& limits,
                      host::ReplySink& sink, std::string& error);

}  // namespace service
