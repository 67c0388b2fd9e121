// Fresh TLS test certificates: a CA, a service and a requester, and certificates to refuse.
#pragma once

#include <string>

#include "host/Tls.h"
#include "support/TestEnv.h"

namespace testpki {

class Pki {
  public:
    Pki();
    const std::string& dir() const { return dir_.path(); }
    // Files of the service (names localhost and 127.0.0.1) and of a good requester.
    host::TlsFiles service() const { return files("service"); }
    host::TlsFiles requester() const { return files("requester"); }
    // Requesters to refuse: expired, from another CA, and the service's own (not a requester's).
    host::TlsFiles expired() const { return files("expired"); }
    host::TlsFiles foreign() const { return files("foreign"); }
    host::TlsFiles serviceAsRequester() const { return files("service"); }
    // A context for this side; fails the test when it cannot be made.
    std::shared_ptr<host::TlsContext> context(host::TlsContext::Role role,
                                              const host::TlsFiles& files) const;

  private:
    host::TlsFiles files(const std::string& name) const;
    testenv::TempDir dir_{"sendlogs-pki"};
};

}  // namespace testpki
