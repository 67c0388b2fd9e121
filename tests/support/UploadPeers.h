// FTP, HTTP upload and proxy peers (upload_servers.py) on free loopback ports, stopped by the
// destructor, also when the test fails.
#pragma once

#include <string>
#include <vector>

#include "support/BackgroundProgram.h"
#include "support/TestEnv.h"

namespace peers {

constexpr const char* kUser = "uploader";
constexpr const char* kPassword = "s3cret-Upl0ad-pw";

// mode: "ftp", "http" or "proxy"; wrapper: a command the script runs under ("unshare -m ...").
struct Peer : testenv::BackgroundProgram {
    Peer(const std::string& mode, const std::vector<std::string>& extra,
         const std::vector<std::string>& wrapper = {});
};

struct FtpPeer : Peer {
    explicit FtpPeer(const std::string& root, int failFirst = 0);
    std::string url() const { return "ftp://127.0.0.1:" + std::to_string(port()) + "/"; }
};

// An HTTP upload server storing root/<corvane id>/<file name>; tls: certificate and key.
struct HttpPeer : Peer {
    HttpPeer(const std::string& root, int failFirst = 0, const std::vector<std::string>& tls = {});
    std::string url(const char* scheme = "http") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port());
    }
};

// A proxy asking for kUser / kPassword.
struct ProxyPeer : Peer {
    ProxyPeer();
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port()); }
};

// A self-signed certificate for 127.0.0.1 in dir: cert.pem and key.pem. False on failure.
bool makeCertificate(const std::string& dir);

}  // namespace peers
