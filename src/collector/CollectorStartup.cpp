// Collector start-up (instance, log directory, remote client, reply records, staging
// directory) and teardown.
#include <arpa/inet.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "bundle/StagingCleanup.h"
#include "collector/SupportDirectory.h"
#include "collector/infoNLogsCollector.h"
#include "common/TempFolders.h"
#include "host/File.h"
#include "host/Jobs.h"
#include "host/ThreadPool.h"

namespace {
const char* const kInitTag = "void infoNLogsCollector::init()";
}

void infoNLogsCollector::sendVersionRecord() {
    // Version record: four zero bytes, then the version text without its NUL.
    const size_t kPrefix = 4;
    const char* version = eventManager.getVersion();
    if (version != nullptr) {
        size_t len = strlen(version);
        if (len + kPrefix >= sizeof(replyBuffer)) {
            logger.Error("init",
                         "Product version text of %zu characters does not fit the reply "
                         "record; sending an empty version",
                         len);
        } else {
            memcpy(replyBuffer + kPrefix, version, len + 1);
        }
    }
    const char* text = replyBuffer + kPrefix;
    logger.Debug("init", "get orvion version [%s]", text);
    returnData.begin(REPLY_VERSION_CODE, 0, *socket, true);
    returnData.add(REPLY_VERSION_TAG, replyBuffer, strlen(text) + kPrefix);
    returnData.end(0);
}

void infoNLogsCollector::sendTimeRecord(time_t now) {
    logger.Debug("init", "get local time [%ld]", static_cast<long>(now));
    // Four bytes in network byte order (seconds since the epoch, unsigned).
    uint32_t wire = htonl(static_cast<uint32_t>(now));
    returnData.begin(REPLY_TIME_CODE, 0, *socket, true);
    returnData.add(REPLY_TIME_TAG, &wire, sizeof(wire));
    returnData.end(0);
}

void infoNLogsCollector::applySendTimeLimit() {
    // A requester that stops reading must not hold the request (and its staging folder)
    // forever: a send that makes no progress for this long ends the request.
    long seconds = 0;
    auto limit = CTeSocket::kDefaultSendTimeLimit;
    if (platformInfo.getNumber("EventManager", "nSendlogsSendTimeoutSeconds", seconds) &&
        seconds > 0) {
        limit = std::chrono::seconds(seconds);
    }
    if (socket) socket->setSendTimeLimit(limit);
    if (network) network->socket().setSendTimeLimit(limit);
}

void infoNLogsCollector::lookUpClient(time_t now) {
    WYClient client(clientId);
    int rc = client.getInstallDirectory(installDir, 4, nullptr);
    if (rc == 0) {
        logger.Debug(kInitTag, "Client Install path: [%s]", installDir.c_str());
    } else {
        logger.Error(kInitTag, "Failed to get Client Install path. Errorcode:%lu",
                     static_cast<unsigned long>(rc));
    }
    int destOsID = 0;
    if (client.getOperatingSystemId(destOsID, nullptr) != 0) destOsID = 0;
    logger.Debug(kInitTag, "clientId:%lu destOsID:%d", static_cast<unsigned long>(clientId),
                 destOsID);
    if (destOsID != 49 && destOsID != 118) return;

    isProxyClient = true;
    auto proxy =
        ProxyServices::instanceForClient(WyThread::getCurrentThreadID(), clientId, 0, false, true);
    if (!proxy) {
        logger.Error(kInitTag, "Failed to connect to remote client.");
        return;
    }
    char hexTime[32];
    snprintf(hexTime, sizeof(hexTime), "%lX", static_cast<unsigned long>(now));
    // Every request gets a folder of its own, even two started in the same second for the
    // same client: the first to finish removes its folder.
    const std::string proxyRoot = FXPath::Append(logDir, "proxyClient", 0);
    CTeDirectory::Create(proxyRoot, true);
    std::string localFolder;
    if (!common::createFreshFolder(FXPath::Append(proxyRoot, hexTime, 0), localFolder)) {
        logger.Error(kInitTag, "Failed to create the proxy download folder [%s]: %s",
                     localFolder.c_str(), strerror(errno));
        return;
    }
    proxyFolder = FXPath::Append("proxyClient", CTePath::GetBaseName(localFolder), 2);
    proxyCleanUp.required = true;
    proxyCleanUp.directory = localFolder;
    CTeError err = proxy->downloadLogFiles(localFolder, options);
    if (err.IsError()) {
        logger.Error(kInitTag, "Failed download client's log files:%s", err.AsString().c_str());
    }
}

void infoNLogsCollector::init() {
    clientNameText = clientName != nullptr ? clientName : "NO NAME";

    const char* focus = WYPI_Focus::getFocus();
    if (focus != nullptr && strlen(focus) < sizeof(instanceName)) {
        memcpy(instanceName, focus, strlen(focus) + 1);
    } else if (focus != nullptr) {
        logger.Error("init", "Instance name of %zu characters is too long; using none",
                     strlen(focus));
    }
    platformBase.setFocus(instanceName);
    logDir = platformBase.getLogFilesDirectory();
    if (logDir == nullptr) logDir = "NO PATH";

    platformInfo.setFocus(instanceName);
    platformType = platformInfo.getWYPlatformType();

    if (clientId != 0) lookUpClient(startTime);

    applySendTimeLimit();

    eventManager.setFocus(instanceName);
    sendVersionRecord();

    time_t now = time(nullptr);
    sendTimeRecord(now);

    const char* slash = strrchr(logDir, '/');
    if (slash == nullptr) {
        logger.Error("init", "Failed to get the staging directory path for collecting logs.");
        returnData.end(1);
        throw std::string("Failed to generate the staging directory path");
    }
    size_t baseLen = static_cast<size_t>(slash - logDir);
    if (baseLen < sizeof(stagingBase)) {
        memcpy(stagingBase, logDir, baseLen);
        stagingBase[baseLen] = '\0';
    } else {
        // Never cut the parent into a different, shorter path.
        logger.Error("init",
                     "Log directory parent of %zu characters does not fit the staging "
                     "base (%zu); it is not used as fallback",
                     baseLen, sizeof(stagingBase) - 1);
    }

    createSupportDirectory(strSupportDir, stagingBase, static_cast<long>(now));
    if (strSupportDir.empty()) {
        logger.Error("init", "Failed to create proper support directory. Returning now..");
        returnData.end(1);
        throw std::string("strSupportDir is invalid");
    }

    if (isScrubLogsEnabled()) {
        if (scrubPatternsFilePath == nullptr) {
            logger.Error("init",
                         "Scrub logs option is enabled but scrub patterns file is not "
                         "received.");
            throw std::string("scrubPatternsFilePath is invalid");
        }
    } else {
        scrubPatternsFilePath = nullptr;
    }
}

void infoNLogsCollector::uninitialize() {
    try {
        if (!strSupportDir.empty()) {
            CTeError err = CTeDirectory::Remove(strSupportDir, true, false);
            if (err.IsError()) {
                logger.Error("uninitialize",
                             "Errors while removing the support dir. Please "
                             "remove directory[%s] manually",
                             strSupportDir.c_str());
            }
        }
        if (!proxyFolder.empty() && logDir != nullptr) {
            CTeDirectory::Remove(FXPath::Append(logDir, proxyFolder, 0), true, false);
        }
        DeleteOldLogBundles(stagingBase);
        // The staging directory normally lives in the job results directory rather than
        // under the log directory's parent; prune leftovers of crashed requests there too.
        if (!strSupportDir.empty()) {
            std::string holder = CTePath::GetDirName(strSupportDir);
            if (!holder.empty() && holder != stagingBase) DeleteOldLogBundles(holder.c_str());
        }
    } catch (...) {
        logger.Error("uninitialize",
                     "Teardown failed with an exception; some staging data "
                     "may remain");
    }
}
