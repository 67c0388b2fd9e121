#include "support/UploadPeers.h"

#include <unistd.h>

#include "host/Process.h"

namespace peers {
namespace {

// The script and its arguments, under the wrapper.
std::vector<std::string> arguments(const std::string& mode, const std::vector<std::string>& extra,
                                   std::vector<std::string> args) {
    // The python interpreter that has the servers' modules.
    const char* python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    args.insert(args.end(), {python, SENDLOGS_SOURCE_DIR "/tests/support/upload_servers.py", mode,
                             "--user", kUser, "--password", kPassword});
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

}  // namespace

Peer::Peer(const std::string& mode, const std::vector<std::string>& extra,
           const std::vector<std::string>& wrapper)
    : BackgroundProgram(arguments(mode, extra, wrapper), "PORT ") {}

FtpPeer::FtpPeer(const std::string& root, int failFirst)
    : Peer("ftp", {"--root", root, "--fail-first", std::to_string(failFirst)}) {}

HttpPeer::HttpPeer(const std::string& root, int failFirst, const std::vector<std::string>& tls)
    : Peer("http", [&] {
          std::vector<std::string> extra = {"--root", root, "--fail-first",
                                            std::to_string(failFirst)};
          if (tls.size() == 2) extra.insert(extra.end(), {"--tls", tls[0], tls[1]});
          return extra;
      }()) {}

ProxyPeer::ProxyPeer() : Peer("proxy", {}) {}

bool makeCertificate(const std::string& dir) {
    std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1 -keyout " +
        host::shellQuote(dir + "/key.pem") + " -out " + host::shellQuote(dir + "/cert.pem") +
        " >/dev/null 2>&1";
    return testenv::runShell(command) == 0;
}

}  // namespace peers
