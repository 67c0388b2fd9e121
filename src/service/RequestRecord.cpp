// Encoding of request records. The encoder applies the decoder's limits, so a requester
// learns of a value over a limit before anything is sent.
#include "service/RequestRecord.h"

#include <cstdio>
#include <cstring>

#include "common/OptionBits.h"
#include "host/Wire.h"
#include "service/RecordFields.h"

namespace service {
namespace {

using namespace record;
using host::wire::putU32;
using host::wire::putU64;

class Encoder {
  public:
    explicit Encoder(std::string& error) : error_(error) {}
    std::string out;

    void integer(const FieldDef& def, long long value) {
        field(def, u64Text(static_cast<uint64_t>(value)));
    }
    void unsignedValue(const FieldDef& def, uint64_t value) { field(def, u64Text(value)); }
    bool text(const FieldDef& def, const std::string& value) {
        if (!checkText(def, value, error_)) return false;
        field(def, value);
        return true;
    }
    bool textList(const FieldDef& def, const std::vector<std::string>& items) {
        if (!checkCount(def, items.size(), error_)) return false;
        std::string payload;
        putU32(payload, static_cast<uint32_t>(items.size()));
        for (const std::string& item : items) {
            if (!checkText(def, item, error_)) return false;
            putU32(payload, static_cast<uint32_t>(item.size()));
            payload += item;
        }
        field(def, payload);
        return true;
    }
    bool intList(const FieldDef& def, const std::vector<long long>& items) {
        if (!checkCount(def, items.size(), error_)) return false;
        std::string payload;
        putU32(payload, static_cast<uint32_t>(items.size()));
        for (long long item : items) putU64(payload, static_cast<uint64_t>(item));
        field(def, payload);
        return true;
    }
    bool rules(const FieldDef& def, const ScrubRuleList& rules) {
        if (!checkCount(def, rules.size(), error_)) return false;
        std::string payload;
        putU32(payload, static_cast<uint32_t>(rules.size()));
        for (const auto& [text, config] : rules) {
            if (text.empty()) {
                error_ = "scrubRules: a rule with an empty text";
                return false;
            }
            if (!checkText(def, text, error_)) return false;
            payload += static_cast<char>(config.isRegex ? 1 : 0);
            for (uint32_t word : config.charSet.bits) putU32(payload, word);
            putU32(payload, static_cast<uint32_t>(text.size()));
            payload += text;
        }
        field(def, payload);
        return true;
    }
    bool textMap(const FieldDef& def, const ReplacementMap& map) {
        if (!checkCount(def, map.size(), error_)) return false;
        std::string payload;
        putU32(payload, static_cast<uint32_t>(map.size()));
        for (const auto& [key, value] : map) {
            if (!checkText(def, key, error_) || !checkText(def, value, error_)) return false;
            putU32(payload, static_cast<uint32_t>(key.size()));
            payload += key;
            putU32(payload, static_cast<uint32_t>(value.size()));
            payload += value;
        }
        field(def, payload);
        return true;
    }
    void group(const FieldDef& def, const std::string& fields) { field(def, fields); }

  private:
    static std::string u64Text(uint64_t value) {
        std::string text;
        putU64(text, value);
        return text;
    }
    void field(const FieldDef& def, const std::string& payload) {
        out += static_cast<char>(def.id);
        out += static_cast<char>(def.type);
        putU32(out, static_cast<uint32_t>(payload.size()));
        out += payload;
    }
    std::string& error_;
};

bool encodeUpload(const MsgInternetOptions& o, std::string& fields, std::string& error) {
    Encoder e(error);
    const auto& def = uploadField;
    // The record's texts are NUL-terminated buffers; a text without its NUL is refused.
    auto text = [&](UploadId id, const char* buffer, size_t size) {
        const size_t length = strnlen(buffer, size);
        if (length == size) {
            error = std::string("internetOptions: ") + def(id).name + " is not terminated";
            return false;
        }
        return e.text(def(id), std::string(buffer, length));
    };
    if (!text(uUrl, o.uploadUrl, sizeof o.uploadUrl) ||
        !text(uUser, o.uploadUser, sizeof o.uploadUser) ||
        !text(uPassword, o.uploadPassword, sizeof o.uploadPassword) ||
        !text(uCorvaneId, o.corvaneId, sizeof o.corvaneId))
        return false;
    if (o.partSizeMb < 0) {
        error = "internetOptions: part size " + std::to_string(o.partSizeMb) + " out of range";
        return false;
    }
    e.unsignedValue(def(uUseFtp), o.protocol != 0);
    e.unsignedValue(def(uActiveFtp), o.ftpPassive == 0);
    e.unsignedValue(def(uSecure), o.httpSecured != 0);
    if (!text(uHttpHandler, o.httpServerHandler, sizeof o.httpServerHandler)) return false;
    e.unsignedValue(def(uPartSizeMb), static_cast<uint64_t>(o.partSizeMb));
    fields = std::move(e.out);
    return true;
}

bool encodeFields(const RequestValues& v, Encoder& e, std::string& error) {
    const auto& def = field;
    e.integer(def(fIgnoredValue), v.ignoredValue);
    e.unsignedValue(def(fClientId), v.clientId);
    e.integer(def(fJobId), v.jobId);
    if (!e.intList(def(fJobIds), v.jobIds)) return false;
    e.integer(def(fFromTime), v.fromTime);
    e.integer(def(fToTime), v.toTime);
    e.unsignedValue(def(fOptions), v.options);
    e.unsignedValue(def(fExtraOptions), v.extraOptions);
    const std::vector<std::string> ignored(v.ignoredNames.begin(), v.ignoredNames.end());
    if (!e.textList(def(fCommands), v.commands) || !e.textList(def(fExtraNames), v.extraNames) ||
        !e.textList(def(fAdditionalFolders), v.additionalFolders) ||
        !e.textList(def(fIgnoredNames), ignored) || !e.rules(def(fScrubRules), v.scrubRules) ||
        !e.textMap(def(fReplacements), v.replacements))
        return false;
    if (v.clientName && !e.text(def(fClientName), *v.clientName)) return false;
    e.integer(def(fTagId), v.tagId);
    if (!e.text(def(fSearchText), v.searchText)) return false;
    if (v.scrubPatterns && !e.text(def(fScrubPatterns), *v.scrubPatterns)) return false;
    if (v.internetOptions) {
        std::string fields;
        if (!encodeUpload(*v.internetOptions, fields, error)) return false;
        e.group(def(fInternetOptions), fields);
    }
    if (!e.text(def(fCassandraFiles), v.cassandraFiles)) return false;
    if (!checkKind(v.kind, v.folderPath, error)) return false;
    if (v.kind != RequestKind::Collect) e.unsignedValue(def(fKind), static_cast<uint64_t>(v.kind));
    return v.folderPath.empty() || e.text(def(fFolderPath), v.folderPath);
}

}  // namespace

bool encodeRequestFrame(const RequestValues& values, std::string& frame, std::string& error) {
    Encoder e(error);
    e.out += static_cast<char>(kRecordVersion);
    if (!encodeFields(values, e, error)) return false;
    if (e.out.size() > kMaxRecordBytes) {
        error = "the request record of " + std::to_string(e.out.size()) +
                " bytes is larger than the limit of " + std::to_string(kMaxRecordBytes);
        return false;
    }
    frame.clear();
    frame += static_cast<char>(kRequestFrame);
    putU32(frame, static_cast<uint32_t>(e.out.size()));
    frame += e.out;
    return true;
}

std::string describeRequest(const RequestValues& v) {
    if (v.kind == RequestKind::CreateFolder) return "create-folder request";
    const bool byJob =
        (v.options & OPT_FILTER_BY_JOB) && !(v.options & OPT_DIRECT_RESULTS) && v.jobId >= 1;
    const bool jobLog = byJob || v.tagId >= 1 || !v.searchText.empty();
    char text[256];
    std::snprintf(text, sizeof text,
                  "%s%s request: client %u, job %lld (+%zu), tag %lld, options 0x%lx/0x%lx, "
                  "%zu command(s), %zu folder(s), %s%s",
                  v.kind == RequestKind::ProxyDownload ? "proxy download, " : "",
                  jobLog ? "job-log" : "bundle", v.clientId, v.jobId, v.jobIds.size(), v.tagId,
                  v.options, v.extraOptions, v.commands.size(), v.additionalFolders.size(),
                  (v.options & OPT_SCRUB_LOGS) ? "scrubbed" : "not scrubbed",
                  v.searchText.empty() ? "" : ", with search text");
    return text;
}

}  // namespace service
