// Replies to browse requests, and the host's own folder creation that answers one.
#include <cerrno>
#include <cstring>

#include "host/File.h"
#include "host/Log.h"
#include "host/MessageCatalogue.h"
#include "host/Net.h"
#include "host/Wire.h"

namespace host {

bool decodeBrowseReply(const ReplyRecord& record, BrowseReply& out) {
    if (record.code != BROWSE_REPLY_CODE) return false;
    bool id = false, status = false, message = false;
    for (const auto& [tag, data] : record.fields) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
        if (tag == BROWSE_REQUEST_ID_TAG && data.size() == 8) {
            out.requestId = static_cast<int64_t>(wire::getU64(bytes));
            id = true;
        } else if (tag == BROWSE_STATUS_TAG && data.size() == 4) {
            out.status = static_cast<int32_t>(wire::getU32(bytes));
            status = true;
        } else if (tag == BROWSE_MESSAGE_TAG) {
            out.message = data;
            message = true;
        }
    }
    return id && status && message;
}

}  // namespace host

int sendResponse(int64_t requestId, CTeSocket* socket, int status, const char* message,
                 CWyNetwork* network) {
    std::string id, code;
    host::wire::putU64(id, static_cast<uint64_t>(requestId));
    host::wire::putU32(code, static_cast<uint32_t>(status));
    const std::string text = message ? message : "";
    EvReturnData reply(network);
    reply.begin(host::BROWSE_REPLY_CODE, 0, socket ? *socket : CTeSocket(), true);
    if (reply.add(host::BROWSE_REQUEST_ID_TAG, id.data(), id.size()) != 0 ||
        reply.add(host::BROWSE_STATUS_TAG, code.data(), code.size()) != 0 ||
        reply.add(host::BROWSE_MESSAGE_TAG, text.data(), text.size()) != 0) {
        reply.end(1);
        return -1;
    }
    // The record's own status follows the stream's convention: 0 success, 1 failure.
    return reply.end(status == 1 ? 0 : 1);
}

void machineBrowseCreateNewFolder(const char* path, CTeSocket socket, int64_t requestId,
                                  void* reserved1, void* reserved2, void* reserved3,
                                  CWyNetwork* network) {
    const char* tag = "machineBrowseCreateNewFolder";
    EvEvent log;
    CTeError error;
    if (!path || path[0] != '/')
        error = CTeError(EINVAL, "the folder path must be absolute", SL_CODE_LOCATION);
    else
        error = CTeDirectory::Create(path, false);
    char text[1024];
    if (error.IsError()) {
        log.Error(tag, "Failed to create new directory '%s': %s", path ? path : "(null)",
                  error.AsString().c_str());
        log.evPrintf(host::MSG_CREATE_FOLDER_FAILED, text, sizeof text, 0);
        const std::string message = std::string(text) + " " + error.AsString();
        sendResponse(requestId, &socket, 0, message.c_str(), network);
        return;
    }
    log.DebugLvl(tag, 2, "Created new directory '%s'", path);
    log.evPrintf(host::MSG_CREATE_FOLDER_DONE, text, sizeof text, 0);
    sendResponse(requestId, &socket, 1, text, network);
}
