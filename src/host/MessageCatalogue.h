// The host's message catalogue: texts of host messages by id, for replies to the requester.
// Only the messages this library asks for are in it; the product's full catalogue belongs
// to the central server.
#pragma once

namespace host {
enum : unsigned long {
    MSG_CREATE_FOLDER_FAILED = 0x7000034,
    MSG_CREATE_FOLDER_DONE = 0x7000035,
};
// The text of a message, or null for an id the catalogue does not hold.
const char* catalogueText(unsigned long id);
}  // namespace host
