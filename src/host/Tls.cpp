// TLS sessions over non-blocking TCP sockets, with every wait bounded by the idle limit.
#include "host/Tls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "host/Log.h"

namespace host {
namespace {

// This thread's OpenSSL errors as one text (the queue is emptied).
std::string sslErrors() {
    std::string out;
    unsigned long code;
    while ((code = ERR_get_error()) != 0) {
        const char* reason = ERR_reason_error_string(code);
        char text[256];
        if (reason == nullptr) {
            ERR_error_string_n(code, text, sizeof text);
            reason = text;
        }
        if (out.find(reason) == std::string::npos)
            out += (out.empty() ? "" : "; ") + std::string(reason);
    }
    return out;
}

// The socket BIO of OpenSSL writes with write(), which raises SIGPIPE when the peer has
// gone; this one sends with MSG_NOSIGNAL, so a lost peer is only an error value.
int socketFd(BIO* bio) {
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

int bioWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t put;
    do {
        put = ::send(socketFd(bio), data, static_cast<size_t>(size), MSG_NOSIGNAL);
    } while (put < 0 && errno == EINTR);
    if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
    return static_cast<int>(put);
}

int bioRead(BIO* bio, char* out, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t got;
    do {
        got = ::recv(socketFd(bio), out, static_cast<size_t>(size), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(bio);
    if (got == 0) BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    return static_cast<int>(got);
}

long bioCtrl(BIO* bio, int command, long, void*) {
    switch (command) {
        case BIO_CTRL_FLUSH:
            return 1;
        case BIO_CTRL_EOF:  // tells a cut connection from the peer's TLS close
            return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0;
        default:
            return 0;
    }
}

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "no-signal socket");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

bool readable(const std::string& what, const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "no " + what + " file given";
        return false;
    }
    if (::access(path.c_str(), R_OK) != 0) {
        error = "cannot read the " + what + " file " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool loadFiles(ssl_ctx_st* ctx, const TlsFiles& files, std::string& error) {
    if (!readable("CA", files.ca, error) || !readable("certificate", files.cert, error) ||
        !readable("key", files.key, error))
        return false;
    ERR_clear_error();
    if (SSL_CTX_load_verify_locations(ctx, files.ca.c_str(), nullptr) != 1) {
        error = "cannot use the CA file " + files.ca + ": " + sslErrors();
        return false;
    }
    if (SSL_CTX_use_certificate_chain_file(ctx, files.cert.c_str()) != 1) {
        error = "cannot use the certificate file " + files.cert + ": " + sslErrors();
        return false;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, files.key.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(ctx) != 1) {
        error = "cannot use the key file " + files.key + " with " + files.cert + ": " + sslErrors();
        return false;
    }
    // OpenSSL fills in a certificate's extension data on its first use; doing it here, before
    // connections on several threads share the context, leaves them only reads.
    STACK_OF(X509_OBJECT)* trusted = X509_STORE_get0_objects(SSL_CTX_get_cert_store(ctx));
    for (int i = 0; i < sk_X509_OBJECT_num(trusted); ++i) {
        X509* cert = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(trusted, i));
        if (cert != nullptr) X509_check_purpose(cert, -1, 0);
    }
    if (X509* own = SSL_CTX_get0_certificate(ctx)) X509_check_purpose(own, -1, 0);
    struct stat st;
    if (::stat(files.key.c_str(), &st) == 0 && (st.st_mode & 0077) != 0) {
        EvDebug().Error("TlsContext::create", "Key file [%s] can be read by other users",
                        files.key.c_str());
    }
    return true;
}

// Printable text of a peer's certificate subject: escaped by RFC 2253, control characters
// replaced, so that it can go into a log line.
std::string subjectOf(ssl_st* ssl) {
    X509* cert = SSL_get1_peer_certificate(ssl);
    if (cert == nullptr) return "";
    std::string out;
    BIO* mem = BIO_new(BIO_s_mem());
    if (mem != nullptr &&
        X509_NAME_print_ex(mem, X509_get_subject_name(cert), 0, XN_FLAG_RFC2253) >= 0) {
        char* data = nullptr;
        const long size = BIO_get_mem_data(mem, &data);
        if (size > 0) out.assign(data, static_cast<size_t>(size));
    }
    BIO_free(mem);
    X509_free(cert);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

bool isIpAddress(const std::string& name) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, name.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

}  // namespace

std::shared_ptr<TlsContext> TlsContext::create(Role role, const TlsFiles& files,
                                               std::string& error) {
    ssl_ctx_st* ctx =
        SSL_CTX_new(role == Role::Service ? TLS_server_method() : TLS_client_method());
    if (ctx == nullptr) {
        error = "cannot set up TLS: " + sslErrors();
        return nullptr;
    }
    std::shared_ptr<TlsContext> context(new TlsContext(role, ctx));
    SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION);
    SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    if (!loadFiles(ctx, files, error)) return nullptr;
    if (role == Role::Service) {
        // No request is read from a peer without a certificate the CA signed.
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
        SSL_CTX_set_purpose(ctx, X509_PURPOSE_SSL_CLIENT);
        STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(files.ca.c_str());
        if (names != nullptr) SSL_CTX_set_client_CA_list(ctx, names);
        SSL_CTX_set_num_tickets(ctx, 0);  // one request per connection: nothing to resume
    } else {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_purpose(ctx, X509_PURPOSE_SSL_SERVER);
    }
    return context;
}

TlsContext::~TlsContext() {
    SSL_CTX_free(ctx_);
}

TlsConnection::TlsConnection(std::shared_ptr<TlsContext> context, int fd, int idleMs)
    : context_(std::move(context)), fd_(fd), idleMs_(idleMs) {
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    ssl_ = SSL_new(context_->native());
    BIO* bio = ssl_ ? BIO_new(socketMethod()) : nullptr;
    if (bio != nullptr) {
        BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd_)));
        SSL_set_bio(ssl_, bio, bio);
    } else if (ssl_ != nullptr) {
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
}

TlsConnection::~TlsConnection() {
    if (ssl_ != nullptr) SSL_free(ssl_);
    if (fd_ >= 0) ::close(fd_);
}

bool TlsConnection::waitFor(int sslError, std::string& error) {
    if (cut_) {
        error = "the connection was cut";
        return false;
    }
    pollfd wait = {fd_, static_cast<short>(sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN), 0};
    int ready;
    do {
        ready = ::poll(&wait, 1, idleMs_);
    } while (ready < 0 && errno == EINTR && !cut_);
    if (cut_) {
        error = "the connection was cut";
        return false;
    }
    if (ready == 0) {
        error = "the peer did nothing for " + std::to_string(idleMs_) + " ms (idle limit)";
        return false;
    }
    if (ready < 0) {
        error = std::string("cannot wait for the peer: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool TlsConnection::handshake(bool asService, std::string& error) {
    if (ssl_ == nullptr) {
        error = "cannot set up a TLS session: " + sslErrors();
        return false;
    }
    for (;;) {
        ERR_clear_error();
        errno = 0;
        const int rc = asService ? SSL_accept(ssl_) : SSL_connect(ssl_);
        if (rc == 1) break;
        const int err = SSL_get_error(ssl_, rc);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
            if (!waitFor(err, error)) return false;
            continue;
        }
        const long verify = SSL_get_verify_result(ssl_);
        if (verify != X509_V_OK) {
            error = std::string("certificate refused: ") + X509_verify_cert_error_string(verify);
        } else {
            error = sslErrors();
            if (error.empty())
                error = errno != 0 ? std::strerror(errno) : "the peer closed the connection";
        }
        error = "TLS handshake failed: " + error;
        return false;
    }
    established_ = true;
    peerSubject_ = subjectOf(ssl_);
    return true;
}

bool TlsConnection::accept(std::string& error) {
    return handshake(true, error);
}

bool TlsConnection::connect(const std::string& serverName, std::string& error) {
    if (ssl_ != nullptr) {
        if (isIpAddress(serverName)) {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), serverName.c_str());
        } else {
            SSL_set_tlsext_host_name(ssl_, serverName.c_str());
            SSL_set1_host(ssl_, serverName.c_str());
        }
    }
    return handshake(false, error);
}

CTeError TlsConnection::writeAll(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (cut_ || !established_)
            return CTeError(ECONNABORTED,
                            cut_ ? "the connection was cut" : "the connection is closed",
                            SL_CODE_LOCATION);
        ERR_clear_error();
        errno = 0;
        size_t put = 0;
        const int rc = SSL_write_ex(ssl_, p, size, &put);
        if (rc == 1) {
            p += put;
            size -= put;
            written_ += put;
            continue;
        }
        const int err = SSL_get_error(ssl_, rc);
        std::string why;
        if ((err == SSL_ERROR_WANT_WRITE || err == SSL_ERROR_WANT_READ) && waitFor(err, why))
            continue;
        if (why.empty()) why = err == SSL_ERROR_SYSCALL ? std::strerror(errno) : sslErrors();
        established_ = false;  // a failed session takes no more writes and no TLS close
        return CTeError(EPIPE, "cannot write to the peer: " + why, SL_CODE_LOCATION);
    }
    return CTeError();
}

long TlsConnection::read(void* buffer, size_t size, std::string& error) {
    for (;;) {
        if (cut_ || !established_) {
            error = cut_ ? "the connection was cut" : "the connection is closed";
            return -1;
        }
        ERR_clear_error();
        errno = 0;
        size_t got = 0;
        const int rc = SSL_read_ex(ssl_, buffer, size, &got);
        if (rc == 1) return static_cast<long>(got);
        const int err = SSL_get_error(ssl_, rc);
        if (err == SSL_ERROR_ZERO_RETURN) return 0;
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
            if (!waitFor(err, error)) return -1;
            continue;
        }
        if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            ERR_clear_error();
            error = "the connection ended without a TLS close";
        } else {
            error = err == SSL_ERROR_SYSCALL ? std::string(std::strerror(errno)) : sslErrors();
        }
        established_ = false;
        return -1;
    }
}

void TlsConnection::close(int lingerMs) {
    if (established_ && !cut_) {
        for (int tries = 0; tries < 8; ++tries) {
            ERR_clear_error();
            const int rc = SSL_shutdown(ssl_);
            if (rc >= 0) break;
            std::string ignored;
            const int err = SSL_get_error(ssl_, rc);
            if (err != SSL_ERROR_WANT_WRITE && err != SSL_ERROR_WANT_READ) break;
            if (!waitFor(err, ignored)) break;
        }
        ERR_clear_error();
    }
    established_ = false;
    ::shutdown(fd_, SHUT_WR);
    if (lingerMs <= 0 || cut_) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(lingerMs);
    char scratch[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        pollfd wait = {fd_, POLLIN, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        const ssize_t got = ::recv(fd_, scratch, sizeof scratch, 0);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return;
    }
}

void TlsConnection::cut() {
    cut_ = true;
    ::shutdown(fd_, SHUT_RDWR);
}

}  // namespace host
