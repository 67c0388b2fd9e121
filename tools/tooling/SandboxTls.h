// Certificates for the network service of a sandbox: a CA, a service certificate and a
// requester certificate, made fresh at sandbox creation (never kept in the repository).
// Also used by the tests to make certificates that must be refused.
#pragma once

#include <string>
#include <vector>

namespace tooling {

// A certificate and its private key, both PEM.
struct IssuedCertificate {
    std::string certPem, keyPem;
};

struct CertificateRequest {
    enum class Kind { Authority, Service, Requester };
    Kind kind = Kind::Requester;
    std::string commonName;
    std::vector<std::string> dnsNames, ipAddresses;  // subject alternative names
    long validFromSeconds = -3600;                   // relative to now
    long validToSeconds = 825L * 86400;
};

// Issues a certificate with a new P-256 key, signed by issuer (null: self-signed). False
// with a reason.
bool issueCertificate(const CertificateRequest& request, const IssuedCertificate* issuer,
                      IssuedCertificate& out, std::string& error);

// Writes text to a new file (never over an existing one) with the given mode.
bool writeNewFile(const std::string& path, const std::string& text, unsigned mode,
                  std::string& error);

// DIR/tls: ca.pem, server.pem, server.key, requester.pem, requester.key (keys 0600). The
// service certificate names localhost, 127.0.0.1 and ::1. The CA's key is not kept.
bool writeSandboxTls(const std::string& dir, std::string& error);

}  // namespace tooling
