// TLS 1.3 with certificates on both sides, over TCP: the transport between the network
// service and its requesters. The service accepts only requesters whose certificate the
// configured CA signed; a requester accepts only a service whose certificate the CA signed
// for the name it connected to.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "host/Net.h"

struct ssl_st;
struct ssl_ctx_st;

namespace host {

// PEM files: the CA certificate(s) to trust, this side's certificate (chain) and its key.
struct TlsFiles {
    std::string ca, cert, key;
};

// The settings one side shares between its connections.
class TlsContext {
  public:
    enum class Role { Service, Requester };
    // Null with a reason when a file cannot be read or the key does not match the
    // certificate.
    static std::shared_ptr<TlsContext> create(Role role, const TlsFiles& files, std::string& error);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    Role role() const { return role_; }
    ssl_ctx_st* native() const { return ctx_; }

  private:
    TlsContext(Role role, ssl_ctx_st* ctx) : role_(role), ctx_(ctx) {}
    Role role_;
    ssl_ctx_st* ctx_;
};

// One TLS session over a connected TCP socket, which it owns and switches to non-blocking.
// Every wait for the peer (handshake, read, write) ends after the idle limit: a peer that
// stops reading or writing is given up, never waited for without end.
class TlsConnection : public StreamTransport {
  public:
    TlsConnection(std::shared_ptr<TlsContext> context, int fd, int idleMs);
    ~TlsConnection() override;
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    // Service side: the handshake, the requester's certificate checked against the CA.
    bool accept(std::string& error);
    // Requester side: the handshake, the service's certificate checked against the CA and
    // against serverName (a DNS name or an IP address).
    bool connect(const std::string& serverName, std::string& error);

    CTeError writeAll(const void* data, size_t size) override;
    // Up to size bytes: their count; 0 when the peer closed the session; -1 with a reason.
    // A connection that ends without the peer's TLS close is an error: the stream may have
    // been cut short.
    long read(void* buffer, size_t size, std::string& error);
    // Ends the session: the TLS close, the end of the writing direction, then a short wait
    // that reads and drops what the peer still sends, so the kernel does not answer it with
    // a reset that would discard replies the peer has not read yet.
    void close(int lingerMs);

    // Breaks the connection from any thread: the wait or write in progress, and every later
    // one, fails at once.
    void cut();
    bool wasCut() const { return cut_.load(); }

    int fd() const override { return fd_; }
    // The peer certificate's subject (RFC 2253), empty before a handshake.
    const std::string& peerSubject() const { return peerSubject_; }
    uint64_t bytesWritten() const { return written_.load(); }

  private:
    bool handshake(bool asService, std::string& error);
    // Waits until fd is ready for what the last TLS call wanted (idle limit, cut).
    bool waitFor(int sslError, std::string& error);

    std::shared_ptr<TlsContext> context_;
    int fd_;
    int idleMs_;
    ssl_st* ssl_ = nullptr;
    bool established_ = false;
    std::atomic<bool> cut_{false};
    std::atomic<uint64_t> written_{0};
    std::string peerSubject_;
};

}  // namespace host
