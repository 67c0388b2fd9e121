// One connection of the network service, from the TLS handshake to the end of its request.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/Tls.h"

namespace service {

struct ServiceSettings;

struct SessionResult {
    enum class Kind { Refused, Rejected, NotStarted, Ran };
    Kind kind = Kind::Refused;
    std::string who;      // the requester's certificate subject
    std::string what;     // the request, described without its text values
    std::string problem;  // why it was refused or rejected, or how the connection broke
    bool connectionBroken = false;
    uint64_t bytes = 0;  // reply bytes sent
};

// Runs the handshake, reads and checks the request record (answering a malformed one with a
// refusal record), and runs the request with the connection as its socket. begin() is asked
// just before the request starts; false (the connection was cut, the service stops) means it
// does not start.
SessionResult runSession(const std::shared_ptr<host::TlsConnection>& tls,
                         const ServiceSettings& settings, const std::function<bool()>& begin);

}  // namespace service
