// The message catalogue and EvEvent::evPrintf, which copies a message's text into a
// caller's buffer.
#include "host/MessageCatalogue.h"

#include <cstdio>
#include <cstring>

#include "host/Log.h"

namespace host {

const char* catalogueText(unsigned long id) {
    switch (id) {
        case MSG_CREATE_FOLDER_FAILED:
            return "Failed to create the new folder.";
        case MSG_CREATE_FOLDER_DONE:
            return "The new folder was created successfully.";
        default:
            return nullptr;
    }
}

}  // namespace host

int EvEvent::evPrintf(unsigned long messageId, char* buffer, int size, int flags) {
    if (!buffer || size <= 0) return -1;
    const char* text = host::catalogueText(messageId);
    int length = text ? std::snprintf(buffer, static_cast<size_t>(size), "%s", text)
                      : std::snprintf(buffer, static_cast<size_t>(size),
                                      "Message 0x%lX is not in the catalogue.", messageId);
    if (!text) Error("EvEvent::evPrintf", "Message 0x%lX is not in the catalogue", messageId);
    // A text cut to the buffer is still a text; the caller sees how long it was.
    return length;
}
