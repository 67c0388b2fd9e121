// Encoding of request records. The encoder applies the decoder's limits, so a requester
// learns of a value over a limit before anything is sent.
#include "service/RequestRecord.h"

#include <cstdio>

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

    void integer(const Spec& spec, long long value) {
        field(spec, u64Text(static_cast<uint64_t>(value)));
    }
    void unsignedValue(const Spec& spec, uint64_t value) { field(spec, u64Text(value)); }
    bool text(const Spec& spec, const std::string& value) {
        if (!checkText(spec, value, error_)) return false;
        field(spec, value);
        return true;
    }
    bool textList(const Spec& spec, const std::vector<std::string>& items) {
        if (!checkCount(spec, items.size(), error_)) return false;
        std::string payload;
        putU32(payload, static_cast<uint32_t>(items.size()));
        for (const std::string& item : items) {
            if (!checkText(spec, item, error_)) return false;
            putU32(payload, static_cast<uint32_t>(item.size()));
            payload += item;
        }
        field(spec, payload);
        return true;
    }
    bool intList(const Spec& spec, const std::vector<long long>& items) {
        if (!checkCount(spec, items.size(), error_)) return false;
        std::string payload;
        putU32(payload, static_cast<uint32_t>(items.size()));
        for (long long item : items) putU64(payload, static_cast<uint64_t>(item));
        field(spec, payload);
        return true;
    }
    bool rules(const Spec& spec, const ScrubRuleList& rules) {
        if (!checkCount(spec, rules.size(), error_)) return false;
        std::string payload;
        putU32(payload, static_cast<uint32_t>(rules.size()));
        for (const auto& [text, config] : rules) {
            if (text.empty()) {
                error_ = "scrubRules: a rule with an empty text";
                return false;
            }
            if (!checkText(spec, text, error_)) return false;
            payload += static_cast<char>(config.isRegex ? 1 : 0);
            for (uint32_t word : config.charSet.bits) putU32(payload, word);
            putU32(payload, static_cast<uint32_t>(text.size()));
            payload += text;
        }
        field(spec, payload);
        return true;
    }
    bool textMap(const Spec& spec, const ReplacementMap& map) {
        if (!checkCount(spec, map.size(), error_)) return false;
        std::string payload;
        putU32(payload, static_cast<uint32_t>(map.size()));
        for (const auto& [key, value] : map) {
            if (!checkText(spec, key, error_) || !checkText(spec, value, error_)) return false;
            putU32(payload, static_cast<uint32_t>(key.size()));
            payload += key;
            putU32(payload, static_cast<uint32_t>(value.size()));
            payload += value;
        }
        field(spec, payload);
        return true;
    }
    void group(const Spec& spec, const std::string& fields) { field(spec, fields); }

  private:
    static std::string u64Text(uint64_t value) {
        std::string text;
        putU64(text, value);
        return text;
    }
    void field(const Spec& spec, const std::string& payload) {
        out += static_cast<char>(spec.id);
        out += static_cast<char>(spec.type);
        putU32(out, static_cast<uint32_t>(payload.size()));
        out += payload;
    }
    std::string& error_;
};

bool encodeUpload(const MsgInternetOptions& o, std::string& fields, std::string& error) {
    Encoder e(error);
    const auto& spec = uploadField;
    if (!e.text(spec(uUrl), o.url) || !e.text(spec(uUser), o.user) ||
        !e.text(spec(uPassword), o.password) || !e.text(spec(uProxyHost), o.proxyHost))
        return false;
    if (o.proxyPort < 0 || o.proxyPort > 65535) {
        error = "internetOptions: proxy port " + std::to_string(o.proxyPort) + " out of range";
        return false;
    }
    e.unsignedValue(spec(uProxyPort), static_cast<uint64_t>(o.proxyPort));
    e.unsignedValue(spec(uUseFtp), o.useFtp);
    e.unsignedValue(spec(uActiveFtp), o.activeFtp);
    e.unsignedValue(spec(uSecure), o.secure);
    if (!e.text(spec(uHttpHandler), o.httpHandler)) return false;
    e.unsignedValue(spec(uPartSizeMb), o.partSizeMb);
    fields = std::move(e.out);
    return true;
}

bool encodeFields(const RequestValues& v, Encoder& e, std::string& error) {
    const auto& spec = field;
    e.integer(spec(fIgnoredValue), v.ignoredValue);
    e.unsignedValue(spec(fClientId), v.clientId);
    e.integer(spec(fJobId), v.jobId);
    if (!e.intList(spec(fJobIds), v.jobIds)) return false;
    e.integer(spec(fFromTime), v.fromTime);
    e.integer(spec(fToTime), v.toTime);
    e.unsignedValue(spec(fOptions), v.options);
    e.unsignedValue(spec(fExtraOptions), v.extraOptions);
    const std::vector<std::string> ignored(v.ignoredNames.begin(), v.ignoredNames.end());
    if (!e.textList(spec(fCommands), v.commands) || !e.textList(spec(fExtraNames), v.extraNames) ||
        !e.textList(spec(fAdditionalFolders), v.additionalFolders) ||
        !e.textList(spec(fIgnoredNames), ignored) || !e.rules(spec(fScrubRules), v.scrubRules) ||
        !e.textMap(spec(fReplacements), v.replacements))
        return false;
    if (v.clientName && !e.text(spec(fClientName), *v.clientName)) return false;
    e.integer(spec(fTagId), v.tagId);
    if (!e.text(spec(fSearchText), v.searchText)) return false;
    if (v.scrubPatterns && !e.text(spec(fScrubPatterns), *v.scrubPatterns)) return false;
    if (v.internetOptions) {
        std::string fields;
        if (!encodeUpload(*v.internetOptions, fields, error)) return false;
        e.group(spec(fInternetOptions), fields);
    }
    return e.text(spec(fCassandraFiles), v.cassandraFiles);
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
    const bool byJob =
        (v.options & OPT_FILTER_BY_JOB) && !(v.options & OPT_DIRECT_RESULTS) && v.jobId >= 1;
    const bool jobLog = byJob || v.tagId >= 1 || !v.searchText.empty();
    char text[256];
    std::snprintf(text, sizeof text,
                  "%s request: client %u, job %lld (+%zu), tag %lld, options 0x%lx/0x%lx, "
                  "%zu command(s), %zu folder(s), %s%s",
                  jobLog ? "job-log" : "bundle", v.clientId, v.jobId, v.jobIds.size(), v.tagId,
                  v.options, v.extraOptions, v.commands.size(), v.additionalFolders.size(),
                  (v.options & OPT_SCRUB_LOGS) ? "scrubbed" : "not scrubbed",
                  v.searchText.empty() ? "" : ", with search text");
    return text;
}

}  // namespace service
