// TCP endpoints: parsing, listening and connecting with a time limit.
#include "host/Tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace host {
namespace {

std::string addressText(const sockaddr* sa) {
    char text[INET6_ADDRSTRLEN] = "?";
    uint16_t port = 0;
    if (sa->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
        return std::string(text) + ":" + std::to_string(port);
    }
    if (sa->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        port = ntohs(in6->sin6_port);
        return "[" + std::string(text) + "]:" + std::to_string(port);
    }
    return "?";
}

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head) freeaddrinfo(head);
    }
};

bool resolve(const Endpoint& e, bool passive, AddressList& out, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = passive ? AI_PASSIVE : AI_ADDRCONFIG;
    const std::string port = std::to_string(e.port);
    const int rc =
        getaddrinfo(e.host.empty() ? nullptr : e.host.c_str(), port.c_str(), &hints, &out.head);
    if (rc != 0) {
        error = "cannot resolve " + e.text() + ": " + gai_strerror(rc);
        return false;
    }
    return true;
}

// Connects fd, waiting at most timeoutMs for the peer to answer.
bool connectWithin(int fd, const addrinfo* ai, int timeoutMs, std::string& error) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            error = std::strerror(errno);
            return false;
        }
        pollfd wait = {fd, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&wait, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            error = "no answer within " + std::to_string(timeoutMs) + " ms";
            return false;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 ||
            soError != 0) {
            error = std::strerror(ready < 0 ? errno : soError != 0 ? soError : errno);
            return false;
        }
    }
    fcntl(fd, F_SETFL, flags);
    return true;
}

}  // namespace

std::string Endpoint::text() const {
    if (host.find(':') != std::string::npos) return "[" + host + "]:" + std::to_string(port);
    return host + ":" + std::to_string(port);
}

bool parseEndpoint(const std::string& text, Endpoint& out, std::string& error, bool allowZeroPort) {
    std::string host, port;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            error = "invalid address \"" + text + "\": expected [IPv6]:PORT";
            return false;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string::npos || text.find(':') != colon) {
            error = "invalid address \"" + text + "\": expected HOST:PORT";
            return false;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    const bool hostOk = !host.empty() && host.size() <= 253 &&
                        host.find_first_of(" \t\r\n/\\") == std::string::npos;
    if (!hostOk) {
        error = "invalid host in \"" + text + "\"";
        return false;
    }
    const bool digits = !port.empty() && port.size() <= 5 &&
                        port.find_first_not_of("0123456789") == std::string::npos;
    const long number = digits ? std::strtol(port.c_str(), nullptr, 10) : -1;
    if (number < (allowZeroPort ? 0 : 1) || number > 65535) {
        error = "invalid port in \"" + text + "\"";
        return false;
    }
    out.host = host;
    out.port = static_cast<uint16_t>(number);
    return true;
}

int listenTcp(const Endpoint& at, int backlog, std::string& error) {
    AddressList list;
    if (!resolve(at, true, list, error)) return -1;
    std::string last = "no address";
    for (const addrinfo* ai = list.head; ai; ai = ai->ai_next) {
        const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            last = std::strerror(errno);
            continue;
        }
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && listen(fd, backlog) == 0) return fd;
        last = std::strerror(errno);
        close(fd);
    }
    error = "cannot listen on " + at.text() + ": " + last;
    return -1;
}

uint16_t localPort(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return 0;
    if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
    return 0;
}

int connectTcp(const Endpoint& to, int timeoutMs, std::string& error) {
    AddressList list;
    if (!resolve(to, false, list, error)) return -1;
    std::string last = "no address";
    for (const addrinfo* ai = list.head; ai; ai = ai->ai_next) {
        const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            last = std::strerror(errno);
            continue;
        }
        if (connectWithin(fd, ai, timeoutMs, last)) {
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
        close(fd);
    }
    error = "cannot connect to " + to.text() + ": " + last;
    return -1;
}

std::string peerAddress(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return "?";
    return addressText(reinterpret_cast<const sockaddr*>(&ss));
}

}  // namespace host
