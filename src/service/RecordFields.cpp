// The field table of the request record.
#include "service/RecordFields.h"

#include "service/RequestRecord.h"

namespace service {
namespace record {
namespace {

constexpr size_t kName = 1023;  // the product's path and name buffers hold 1024 bytes
constexpr size_t kCommand = 4095;

const FieldDef kFields[] = {
    {fIgnoredValue, kInt, "ignoredValue", 0, 0, false},
    {fClientId, kUint, "clientId", 0, 0, false},
    {fJobId, kInt, "jobId", 0, 0, false},
    {fJobIds, kIntList, "jobIds", 0, 4096, false},
    {fFromTime, kInt, "fromTime", 0, 0, false},
    {fToTime, kInt, "toTime", 0, 0, false},
    {fOptions, kUint, "options", 0, 0, false},
    {fExtraOptions, kUint, "extraOptions", 0, 0, false},
    {fCommands, kTextList, "commands", kCommand, 256, false},
    {fExtraNames, kTextList, "extraNames", kName, 1024, false},
    {fAdditionalFolders, kTextList, "additionalFolders", 2 * kName + 1, 256, false},
    {fIgnoredNames, kTextList, "ignoredNames", kName, 1024, false},
    {fScrubRules, kRules, "scrubRules", kName, 100000, false},
    {fReplacements, kTextMap, "replacements", kName, 100000, false},
    {fClientName, kText, "clientName", kName, 0, false},
    {fTagId, kInt, "tagId", 0, 0, false},
    {fSearchText, kText, "searchText", kName, 0, false},
    {fScrubPatterns, kText, "scrubPatterns", 16 << 20, 0, true},
    {fInternetOptions, kGroup, "internetOptions", 0, 0, false},
    {fCassandraFiles, kText, "cassandraFiles", kCommand, 0, false},
    {fKind, kUint, "kind", 0, 0, false},
    {fFolderPath, kText, "folderPath", kName, 0, false},
};

const FieldDef kUploadFields[] = {
    // Texts fit the gateway record's fixed buffers with their terminating NUL.
    {uUrl, kText, "url", kName - 1, 0, false},
    {uUser, kText, "user", kName - 1, 0, false},
    {uPassword, kText, "password", kName - 1, 0, false},
    {uCorvaneId, kText, "corvaneId", kName - 1, 0, false},
    {uUseFtp, kUint, "useFtp", 0, 0, false},
    {uActiveFtp, kUint, "activeFtp", 0, 0, false},
    {uSecure, kUint, "secure", 0, 0, false},
    {uHttpHandler, kText, "httpHandler", kName, 0, false},
    {uPartSizeMb, kUint, "partSizeMb", 0, 0, false},  // at most INT_MAX
};

template <size_t N>
const FieldDef* findIn(const FieldDef (&table)[N], uint8_t id) {
    for (const FieldDef& def : table)
        if (def.id == id) return &def;
    return nullptr;
}

}  // namespace

const FieldDef* findField(uint8_t id) {
    return findIn(kFields, id);
}

const FieldDef* findUploadField(uint8_t id) {
    return findIn(kUploadFields, id);
}

bool checkText(const FieldDef& def, const std::string& text, std::string& error) {
    if (text.size() > def.maxBytes) {
        error = std::string(def.name) + ": a text of " + std::to_string(text.size()) +
                " bytes is longer than the limit of " + std::to_string(def.maxBytes);
        return false;
    }
    if (!def.binary && text.find('\0') != std::string::npos) {
        error = std::string(def.name) + ": a text holds a NUL byte";
        return false;
    }
    return true;
}

bool checkKind(RequestKind kind, const std::string& folderPath, std::string& error) {
    if (kind > RequestKind::CreateFolder) {
        error = "kind: unknown request kind " + std::to_string(static_cast<int>(kind));
        return false;
    }
    if ((kind == RequestKind::CreateFolder) != !folderPath.empty()) {
        error = kind == RequestKind::CreateFolder
                    ? "folderPath: a create-folder request names no folder"
                    : "folderPath: only a create-folder request names a folder";
        return false;
    }
    return true;
}

bool checkCount(const FieldDef& def, size_t count, std::string& error) {
    if (count <= def.maxCount) return true;
    error = std::string(def.name) + ": " + std::to_string(count) +
            " items, more than the limit of " + std::to_string(def.maxCount);
    return false;
}

}  // namespace record
}  // namespace service
