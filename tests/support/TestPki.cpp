#include "support/TestPki.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stdexcept>

#include "tooling/SandboxTls.h"

namespace testpki {
namespace {

using tooling::CertificateRequest;
using tooling::IssuedCertificate;
using Kind = CertificateRequest::Kind;

IssuedCertificate issue(const CertificateRequest& request, const IssuedCertificate* issuer) {
    IssuedCertificate out;
    std::string error;
    if (!tooling::issueCertificate(request, issuer, out, error)) throw std::runtime_error(error);
    return out;
}

}  // namespace

Pki::Pki() {
    const IssuedCertificate ca = issue({Kind::Authority, "test CA", {}, {}}, nullptr);
    const IssuedCertificate otherCa = issue({Kind::Authority, "other CA", {}, {}}, nullptr);
    CertificateRequest expired{Kind::Requester, "expired requester", {}, {}};
    expired.validFromSeconds = -2 * 86400;
    expired.validToSeconds = -86400;
    const struct {
        const char* name;
        IssuedCertificate cert;
    } made[] = {
        {"service", issue({Kind::Service, "localhost", {"localhost"}, {"127.0.0.1"}}, &ca)},
        {"requester", issue({Kind::Requester, "test requester", {}, {}}, &ca)},
        {"expired", issue(expired, &ca)},
        {"foreign", issue({Kind::Requester, "foreign requester", {}, {}}, &otherCa)},
    };
    testenv::writeFile(dir_.file("ca.pem"), ca.certPem);
    for (const auto& m : made) {
        testenv::writeFile(dir_.file(std::string(m.name) + ".pem"), m.cert.certPem);
        const std::string key = dir_.file(std::string(m.name) + ".key");
        testenv::writeFile(key, m.cert.keyPem);
        ::chmod(key.c_str(), 0600);
    }
}

host::TlsFiles Pki::files(const std::string& name) const {
    return {dir_.file("ca.pem"), dir_.file(name + ".pem"), dir_.file(name + ".key")};
}

std::shared_ptr<host::TlsContext> Pki::context(host::TlsContext::Role role,
                                               const host::TlsFiles& files) const {
    std::string error;
    auto context = host::TlsContext::create(role, files, error);
    EXPECT_TRUE(context) << error;
    return context;
}

}  // namespace testpki
