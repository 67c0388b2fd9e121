// The remote-client proxy: a remote client's logs and folders through that client's own
// service, reached with the installed connector.
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "host/BundleUnpack.h"
#include "host/File.h"
#include "host/Jobs.h"
#include "host/Log.h"

namespace {

const char* const kTag = "ProxyServices";
const char* const kJobResults = "jobResults";

std::vector<std::string> pathParts(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

// Where a member of a client's bundle goes. The client's log directory is packed relative
// to itself ("./wyd.log") and goes to the top; its job results directory is packed by its
// path without the leading "/" and goes below "jobResults"; the rest (its registry, firewall
// files, the library's own trace) is not part of what the proxy hands over.
std::string placeMember(const host::BundleMember& member,
                        const std::vector<std::string>& jobResults) {
    const std::vector<std::string> parts = pathParts(member.path);
    if (member.stored.compare(0, 2, "./") == 0) {
        // The client's log directory cannot supply the job results folder.
        if (parts.front() == kJobResults) return std::string();
        return member.path;
    }
    if (jobResults.empty() || parts.size() < jobResults.size()) return std::string();
    std::string placed = kJobResults;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i < jobResults.size()) {
            if (parts[i] != jobResults[i]) return std::string();
        } else {
            placed += "/" + parts[i];
        }
    }
    return placed;
}

// A private folder beside the local folder for the received bundle, removed with it.
class DownloadFolder {
  public:
    explicit DownloadFolder(const std::string& localFolder) {
        std::string base = localFolder;
        while (base.size() > 1 && base.back() == '/') base.pop_back();
        const std::string parent = CTePath::GetDirName(base);
        std::string name = (parent.empty() ? std::string(".") : parent) + "/." +
                           CTePath::GetBaseName(base) + ".download-XXXXXX";
        if (::mkdtemp(&name[0]) != nullptr) path_ = name;
    }
    ~DownloadFolder() {
        if (!path_.empty()) CTeDirectory::Remove(path_, true, false);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

ProxyServices::ProxyServices(host::RemoteClientTarget target,
                             std::shared_ptr<host::RemoteClientConnector> connector,
                             std::unique_ptr<host::RemoteClientLink> link)
    : target_(std::move(target)), connector_(std::move(connector)), link_(std::move(link)) {}

ProxyServices::~ProxyServices() = default;

boost::shared_ptr<ProxyServices> ProxyServices::instanceForClient(unsigned long,
                                                                  unsigned long clientId, int, bool,
                                                                  bool) {
    EvDebug log;
    host::RemoteClientTarget target;
    std::string error;
    if (!host::lookUpRemoteClient(clientId, target, error)) {
        log.Error(kTag, "Cannot reach client %lu: %s", clientId, error.c_str());
        return boost::shared_ptr<ProxyServices>();
    }
    std::shared_ptr<host::RemoteClientConnector> connector = host::remoteClientConnector();
    if (!connector) {
        log.Error(kTag, "Cannot reach client %lu: this process has no remote-client connector",
                  clientId);
        return boost::shared_ptr<ProxyServices>();
    }
    std::unique_ptr<host::RemoteClientLink> link = connector->connect(target, error);
    if (!link) {
        log.Error(kTag, "Cannot reach client %lu at %s: %s", clientId,
                  target.address.text().c_str(), error.c_str());
        return boost::shared_ptr<ProxyServices>();
    }
    log.DebugLvl(kTag, 3, "Connected to client %lu at %s", clientId, target.address.text().c_str());
    return boost::shared_ptr<ProxyServices>(
        new ProxyServices(std::move(target), std::move(connector), std::move(link)));
}

std::unique_ptr<host::RemoteClientLink> ProxyServices::takeLink(CTeError& error) {
    if (link_) return std::move(link_);
    std::string why;
    std::unique_ptr<host::RemoteClientLink> link = connector_->connect(target_, why);
    if (!link)
        error = CTeError(ECONNREFUSED,
                         "cannot reach client " + std::to_string(target_.clientId) + " at " +
                             target_.address.text() + ": " + why,
                         SL_CODE_LOCATION);
    return link;
}

CTeError ProxyServices::downloadLogFiles(const std::string& localFolder, uint64_t) {
    if (localFolder.empty()) return CTeError(EINVAL, "no local folder", SL_CODE_LOCATION);
    CTeError error;
    std::unique_ptr<host::RemoteClientLink> link = takeLink(error);
    if (!link) return error;
    DownloadFolder scratch(localFolder);
    if (scratch.path().empty())
        return FXErrorUtil::ErrorErrNo(SL_CODE_LOCATION, errno,
                                       "cannot create a folder beside [%s]", localFolder.c_str());
    const std::string bundle = scratch.path() + "/bundle";
    std::string prefix;
    error = link->fetchLogBundle(bundle, prefix);
    link.reset();
    if (error.IsError()) return error;

    const std::vector<std::string> jobResults = pathParts(prefix);
    host::UnpackStats stats;
    std::string why;
    const bool unpacked = host::unpackBundle(
        bundle, localFolder,
        [&jobResults](const host::BundleMember& m) { return placeMember(m, jobResults); }, stats,
        why);
    if (!unpacked)
        return CTeError(
            EPROTO,
            "the bundle of client " + std::to_string(target_.clientId) + " cannot be used: " + why,
            SL_CODE_LOCATION);
    EvDebug().DebugLvl(kTag, 3,
                       "Downloaded client %lu's logs into [%s]: %llu file(s), %llu byte(s), %llu "
                       "member(s) not used, %llu refused",
                       target_.clientId, localFolder.c_str(),
                       static_cast<unsigned long long>(stats.files),
                       static_cast<unsigned long long>(stats.bytes),
                       static_cast<unsigned long long>(stats.leftOut),
                       static_cast<unsigned long long>(stats.refused));
    return CTeError();
}

CTeError ProxyServices::createNewFolder(const std::string& path) {
    if (path.empty()) return CTeError(EINVAL, "empty folder path", SL_CODE_LOCATION);
    CTeError error;
    std::unique_ptr<host::RemoteClientLink> link = takeLink(error);
    if (!link) return error;
    return link->createFolder(path);
}
