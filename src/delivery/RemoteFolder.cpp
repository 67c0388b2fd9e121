// Remote folder creation for proxied clients; everything else goes to the host's service.
#include "delivery/RemoteFolder.h"

#include "host/Jobs.h"
#include "host/Log.h"
#include "host/MessageCatalogue.h"
#include "host/Registry.h"
#include "host/ThreadPool.h"

namespace {

const char* const kTag = "unixBrowseCreateNewFolder";

// Operating-system ids of clients served through the proxy.
bool isProxiedClient(int osId) {
    return osId == 49 || osId == 118;
}

void reply(CTeSocket& socket, int64_t requestId, CWyNetwork* network, bool done) {
    EvEvent event;
    char text[1024];
    event.evPrintf(done ? host::MSG_CREATE_FOLDER_DONE : host::MSG_CREATE_FOLDER_FAILED, text, 1024,
                   0);
    sendResponse(requestId, &socket, done ? 1 : 0, text, network);
}

}  // namespace

void unixBrowseCreateNewFolder(char* path, CTeSocket socket, int64_t requestId,
                               unsigned int clientId, CWyNetwork* network) {
    if (clientId == 0) {
        machineBrowseCreateNewFolder(path, socket, requestId, nullptr, nullptr, nullptr, network);
        return;
    }
    int osId = 0;
    WYClient(clientId).getOperatingSystemId(osId, nullptr);
    if (g_ptrLogWriter->GetLevel() > 2)
        g_ptrLogWriter->Write(3, kTag, "clientId:%lu destOsID:%d",
                              static_cast<unsigned long>(clientId), osId);
    if (!isProxiedClient(osId)) {
        machineBrowseCreateNewFolder(path, socket, requestId, nullptr, nullptr, nullptr, network);
        return;
    }
    EvEvent log;
    if (!path || !*path) {
        log.Error(kTag, "No folder path given for client %lu",
                  static_cast<unsigned long>(clientId));
        reply(socket, requestId, network, false);
        return;
    }
    boost::shared_ptr<ProxyServices> proxy =
        ProxyServices::instanceForClient(WyThread::getCurrentThreadID(), clientId, 0, false, true);
    if (!proxy) {
        log.Error(kTag, "Failed to connect to remote client.");
        reply(socket, requestId, network, false);
        return;
    }
    CTeError error = proxy->createNewFolder(path);
    if (error.IsError()) {
        log.Error(kTag, "Failed create new directory '%s' on client %lu :%s", path,
                  static_cast<unsigned long>(clientId), error.AsString().c_str());
        reply(socket, requestId, network, false);
        return;
    }
    reply(socket, requestId, network, true);
}
