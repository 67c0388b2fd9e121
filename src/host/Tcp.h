// TCP endpoints of the network service and its requesters: "HOST:PORT" texts, listening
// and connecting sockets. Every descriptor is close-on-exec, so the programs a request runs
// never hold a requester's connection open.
#pragma once

#include <cstdint>
#include <string>

namespace host {

struct Endpoint {
    std::string host;  // a name, an IPv4 address or an IPv6 address (without brackets)
    uint16_t port = 0;
    std::string text() const;  // "host:port", "[v6]:port"
};

// "HOST:PORT" or "[IPv6]:PORT", port 0 to 65535 (0 only where allowZeroPort). False with
// a reason.
bool parseEndpoint(const std::string& text, Endpoint& out, std::string& error,
                   bool allowZeroPort = false);

// A listening socket bound to the endpoint (port 0: a free port); -1 with a reason.
int listenTcp(const Endpoint& at, int backlog, std::string& error);
// The local port a socket is bound to; 0 when unknown.
uint16_t localPort(int fd);
// A connected socket to the first of the host's addresses that answers within timeoutMs
// each; -1 with a reason.
int connectTcp(const Endpoint& to, int timeoutMs, std::string& error);
// "address:port" of the peer of a connected socket, "?" when unknown.
std::string peerAddress(int fd);

}  // namespace host
