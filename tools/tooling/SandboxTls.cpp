// Certificate issuing with the OpenSSL API, and the TLS files of a sandbox.
#include "SandboxTls.h"

#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "SandboxParts.h"

namespace tooling {
namespace {

struct Freer {
    void operator()(X509* p) const { X509_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(BIGNUM* p) const { BN_free(p); }
    void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Freer>;

std::string opensslError(const std::string& action) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = "unknown error";
    if (code != 0) ERR_error_string_n(code, text, sizeof text);
    return action + ": " + text;
}

std::string memText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

bool addExtension(X509* cert, X509V3_CTX* ctx, int nid, const std::string& value) {
    Owned<X509_EXTENSION> ext(X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str()));
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

bool addExtensions(X509* cert, X509* issuer, const CertificateRequest& r) {
    using Kind = CertificateRequest::Kind;
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    const bool authority = r.kind == Kind::Authority;
    bool ok =
        addExtension(cert, &ctx, NID_basic_constraints,
                     authority ? "critical,CA:TRUE" : "critical,CA:FALSE") &&
        addExtension(cert, &ctx, NID_key_usage,
                     authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature") &&
        addExtension(cert, &ctx, NID_subject_key_identifier, "hash") &&
        addExtension(cert, &ctx, NID_authority_key_identifier, "keyid:always");
    if (!authority)
        ok = ok && addExtension(cert, &ctx, NID_ext_key_usage,
                                r.kind == Kind::Service ? "serverAuth" : "clientAuth");
    std::string names;
    for (const std::string& dns : r.dnsNames) names += (names.empty() ? "" : ",") + ("DNS:" + dns);
    for (const std::string& ip : r.ipAddresses) names += (names.empty() ? "" : ",") + ("IP:" + ip);
    if (!names.empty()) ok = ok && addExtension(cert, &ctx, NID_subject_alt_name, names);
    return ok;
}

bool randomSerial(X509* cert) {
    Owned<BIGNUM> serial(BN_new());
    return serial && BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
           BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert)) != nullptr;
}

}  // namespace

bool issueCertificate(const CertificateRequest& r, const IssuedCertificate* issuer,
                      IssuedCertificate& out, std::string& error) {
    ERR_clear_error();
    Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
    Owned<X509> cert(X509_new());
    if (!key || !cert) {
        error = opensslError("cannot make a key");
        return false;
    }
    Owned<X509> issuerCert;
    Owned<EVP_PKEY> issuerKey;
    if (issuer != nullptr) {
        Owned<BIO> certIn(
            BIO_new_mem_buf(issuer->certPem.data(), static_cast<int>(issuer->certPem.size())));
        Owned<BIO> keyIn(
            BIO_new_mem_buf(issuer->keyPem.data(), static_cast<int>(issuer->keyPem.size())));
        issuerCert.reset(certIn ? PEM_read_bio_X509(certIn.get(), nullptr, nullptr, nullptr)
                                : nullptr);
        issuerKey.reset(keyIn ? PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr)
                              : nullptr);
        if (!issuerCert || !issuerKey) {
            error = opensslError("cannot read the issuer's certificate and key");
            return false;
        }
    }
    X509_NAME* name = X509_get_subject_name(cert.get());
    const auto* organisation = reinterpret_cast<const unsigned char*>("sendlogs sandbox");
    const auto* common = reinterpret_cast<const unsigned char*>(r.commonName.c_str());
    X509* signer = issuerCert ? issuerCert.get() : cert.get();
    const bool built =
        X509_set_version(cert.get(), 2) == 1 && randomSerial(cert.get()) &&
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), r.validFromSeconds) != nullptr &&
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), r.validToSeconds) != nullptr &&
        X509_set_pubkey(cert.get(), key.get()) == 1 &&
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, organisation, -1, -1, 0) == 1 &&
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, common, -1, -1, 0) == 1 &&
        X509_set_issuer_name(cert.get(), X509_get_subject_name(signer)) == 1 &&
        addExtensions(cert.get(), signer, r) &&
        X509_sign(cert.get(), issuerKey ? issuerKey.get() : key.get(), EVP_sha256()) > 0;
    if (!built) {
        error = opensslError("cannot issue the certificate for " + r.commonName);
        return false;
    }
    Owned<BIO> certOut(BIO_new(BIO_s_mem()));
    Owned<BIO> keyOut(BIO_new(BIO_s_mem()));
    if (!certOut || !keyOut || PEM_write_bio_X509(certOut.get(), cert.get()) != 1 ||
        PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1) {
        error = opensslError("cannot write the certificate for " + r.commonName);
        return false;
    }
    out.certPem = memText(certOut.get());
    out.keyPem = memText(keyOut.get());
    return true;
}

bool writeNewFile(const std::string& path, const std::string& text, unsigned mode,
                  std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        ok = put > 0;
        if (ok) done += static_cast<size_t>(put);
    }
    const int savedErrno = errno;
    if (::close(fd) != 0 || !ok) {
        error = "cannot write " + path + ": " + std::strerror(ok ? errno : savedErrno);
        return false;
    }
    return true;
}

bool writeSandboxTls(const std::string& dir, std::string& error) {
    using Kind = CertificateRequest::Kind;
    const std::string tls = dir + "/tls";
    if (!sandbox::makeDirs(tls, error)) return false;
    IssuedCertificate ca, server, requester;
    CertificateRequest caRequest{Kind::Authority, "sendlogs sandbox CA", {}, {}};
    caRequest.validToSeconds = 3650L * 86400;
    const CertificateRequest serverRequest{
        Kind::Service, "localhost", {"localhost"}, {"127.0.0.1", "::1"}};
    const CertificateRequest requesterRequest{Kind::Requester, "sandbox requester", {}, {}};
    return issueCertificate(caRequest, nullptr, ca, error) &&
           issueCertificate(serverRequest, &ca, server, error) &&
           issueCertificate(requesterRequest, &ca, requester, error) &&
           writeNewFile(tls + "/ca.pem", ca.certPem, 0644, error) &&
           writeNewFile(tls + "/server.pem", server.certPem, 0644, error) &&
           writeNewFile(tls + "/server.key", server.keyPem, 0600, error) &&
           writeNewFile(tls + "/requester.pem", requester.certPem, 0644, error) &&
           writeNewFile(tls + "/requester.key", requester.keyPem, 0600, error);
}

namespace sandbox {

bool writeTlsFiles(const Layout& layout, std::string& error) {
    return writeSandboxTls(layout.root, error);
}

}  // namespace sandbox
}  // namespace tooling
