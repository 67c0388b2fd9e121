// The fields of a request record, their types and limits, shared by the encoder and the
// decoder. Internal to the service layer; the layout is in docs/wire-protocol.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace service {

enum class RequestKind : uint8_t;

namespace record {

enum Type : uint8_t {
    kInt = 1,       // i64
    kUint = 2,      // u64
    kText = 3,      // bytes
    kTextList = 4,  // count u32, then (length u32, bytes) per item
    kIntList = 5,   // count u32, then i64 per item
    kRules = 6,     // count u32, then (kind u8, bitmap 4 x u32, length u32, bytes) per rule
    kTextMap = 7,   // count u32, then (key, value) per entry, each as length u32 and bytes
    kGroup = 8,     // fields of their own, in the same layout
};

enum FieldId : uint8_t {
    fIgnoredValue = 2,
    fClientId = 3,
    fJobId = 4,
    fJobIds = 5,
    fFromTime = 6,
    fToTime = 7,
    fOptions = 8,
    fExtraOptions = 9,
    fCommands = 10,
    fExtraNames = 11,
    fAdditionalFolders = 12,
    fIgnoredNames = 13,
    fScrubRules = 14,
    fReplacements = 15,
    fClientName = 16,
    fTagId = 17,
    fSearchText = 18,
    fScrubPatterns = 20,
    fInternetOptions = 21,
    fCassandraFiles = 22,
    fKind = 23,
    fFolderPath = 24,
};

enum UploadId : uint8_t {
    uUrl = 1,
    uUser,
    uPassword,
    uCorvaneId,
    uUseFtp = 6,
    uActiveFtp,
    uSecure,
    uHttpHandler,
    uPartSizeMb,
};

// maxBytes: of a text, or of each text of a list, a rule list or a map; maxCount: items.
struct FieldDef {
    uint8_t id;
    Type type;
    const char* name;
    size_t maxBytes;
    size_t maxCount;
    bool binary;  // may hold NUL bytes (texts that become C strings may not)
};

// The definition of a field of the record or of the upload options group; null for an unknown id.
const FieldDef* findField(uint8_t id);
const FieldDef* findUploadField(uint8_t id);
inline const FieldDef& field(FieldId id) {
    return *findField(id);
}
inline const FieldDef& uploadField(UploadId id) {
    return *findUploadField(id);
}

// False with a reason when a text is too long or holds a NUL it may not hold.
bool checkText(const FieldDef& def, const std::string& text, std::string& error);
// False with a reason when a list has more items than its limit.
bool checkCount(const FieldDef& def, size_t count, std::string& error);
// False with a reason for an unknown kind, or a folder path given to the wrong kind (or
// missing from a create-folder request).
bool checkKind(RequestKind kind, const std::string& folderPath, std::string& error);

}  // namespace record
}  // namespace service
