// Decoding of request records. Every length and count is checked against the remaining
// bytes and the field's limit before anything is allocated, so arbitrary bytes end in a
// refusal, never a crash or a large allocation.
#include <climits>
#include <cstring>
#include <limits>

#include "host/Wire.h"
#include "service/RecordFields.h"
#include "service/RequestRecord.h"

namespace service {
namespace {

using namespace record;
using host::wire::getU32;
using host::wire::getU64;

class Reader {
  public:
    Reader(const unsigned char* data, size_t size) : p_(data), end_(data + size) {}
    size_t left() const { return static_cast<size_t>(end_ - p_); }
    bool u8(uint8_t& v) {
        if (left() < 1) return false;
        v = *p_++;
        return true;
    }
    bool u32(uint32_t& v) {
        if (left() < 4) return false;
        v = getU32(p_);
        p_ += 4;
        return true;
    }
    bool u64(uint64_t& v) {
        if (left() < 8) return false;
        v = getU64(p_);
        p_ += 8;
        return true;
    }
    bool bytes(size_t n, std::string& out) {
        if (left() < n) return false;
        out.assign(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return true;
    }
    const unsigned char* position() const { return p_; }

  private:
    const unsigned char* p_;
    const unsigned char* end_;
};

// Reads the fields of one level (the record, or a group) in increasing id order and hands
// each value, checked against its type and limits, to a handler.
class FieldDecoder {
  public:
    FieldDecoder(std::string& error) : error_(error) {}

    bool fail(const std::string& why) {
        error_ = why;
        return false;
    }

    bool text(const FieldDef& def, Reader& r, std::string& out) {
        uint32_t length = 0;
        if (!r.u32(length)) return fail(std::string(def.name) + ": truncated");
        if (length > def.maxBytes)
            return fail(std::string(def.name) + ": a text of " + std::to_string(length) +
                        " bytes is longer than the limit of " + std::to_string(def.maxBytes));
        if (!r.bytes(length, out)) return fail(std::string(def.name) + ": truncated");
        return checkText(def, out, error_);
    }

    bool count(const FieldDef& def, Reader& r, size_t minItemBytes, uint32_t& n) {
        if (!r.u32(n)) return fail(std::string(def.name) + ": truncated");
        if (!checkCount(def, n, error_)) return false;
        if (static_cast<uint64_t>(n) * minItemBytes > r.left())
            return fail(std::string(def.name) + ": " + std::to_string(n) +
                        " items cannot fit the field");
        return true;
    }

    bool textList(const FieldDef& def, Reader& r, std::vector<std::string>& out) {
        uint32_t n = 0;
        if (!count(def, r, 4, n)) return false;
        out.clear();
        for (uint32_t i = 0; i < n; ++i) {
            std::string item;
            if (!text(def, r, item)) return false;
            out.push_back(std::move(item));
        }
        return true;
    }

    bool intList(const FieldDef& def, Reader& r, std::vector<long long>& out) {
        uint32_t n = 0;
        if (!count(def, r, 8, n)) return false;
        out.clear();
        for (uint32_t i = 0; i < n; ++i) {
            uint64_t v = 0;
            r.u64(v);
            out.push_back(static_cast<long long>(v));
        }
        return true;
    }

    bool rules(const FieldDef& def, Reader& r, ScrubRuleList& out) {
        uint32_t n = 0;
        if (!count(def, r, 1 + 16 + 4 + 1, n)) return false;
        out.clear();
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t kind = 0;
            ScrubPatternConfig_t config;
            std::string ruleText;
            bool ok = r.u8(kind);
            for (uint32_t& word : config.charSet.bits) ok = ok && r.u32(word);
            if (!ok) return fail("scrubRules: truncated");
            if (kind > 1) return fail("scrubRules: unknown rule kind " + std::to_string(kind));
            config.isRegex = kind == 1;
            if (!text(def, r, ruleText)) return false;
            if (ruleText.empty()) return fail("scrubRules: a rule with an empty text");
            out.emplace_back(std::move(ruleText), config);
        }
        return true;
    }

    bool textMap(const FieldDef& def, Reader& r, ReplacementMap& out) {
        uint32_t n = 0;
        if (!count(def, r, 8, n)) return false;
        out.clear();
        for (uint32_t i = 0; i < n; ++i) {
            std::string key, value;
            if (!text(def, r, key) || !text(def, r, value)) return false;
            if (!out.emplace(std::move(key), std::move(value)).second)
                return fail(std::string(def.name) + ": a key appears twice");
        }
        return true;
    }

    // Walks the fields of data; handle(def, value reader) decodes one value.
    template <typename Handler>
    bool fields(const FieldDef* (*find)(uint8_t), const unsigned char* data, size_t size,
                Handler&& handle) {
        Reader r(data, size);
        int lastId = -1;
        while (r.left() > 0) {
            uint8_t id = 0, type = 0;
            uint32_t length = 0;
            if (!r.u8(id) || !r.u8(type) || !r.u32(length)) return fail("truncated field header");
            const FieldDef* def = find(id);
            if (def == nullptr) return fail("unknown field " + std::to_string(id));
            if (id <= lastId)
                return fail(std::string(def->name) + ": field out of order or repeated");
            lastId = id;
            if (type != def->type)
                return fail(std::string(def->name) + ": wrong type " + std::to_string(type));
            if (length > r.left()) return fail(std::string(def->name) + ": truncated");
            const unsigned char* value = r.position();
            Reader valueReader(value, length);
            std::string skipped;
            r.bytes(length, skipped);
            if (!handle(*def, valueReader)) return false;
            if (valueReader.left() != 0)
                return fail(std::string(def->name) + ": " + std::to_string(valueReader.left()) +
                            " bytes left over");
        }
        return true;
    }

    bool number(const FieldDef& def, Reader& r, uint64_t& out) {
        return r.u64(out) || fail(std::string(def.name) + ": not an 8-byte number");
    }

    bool upload(const unsigned char* data, size_t size, MsgInternetOptions& o) {
        return fields(findUploadField, data, size, [&](const FieldDef& def, Reader& r) {
            uint64_t n = 0;
            switch (def.id) {
                case uUrl:
                    return bufferText(def, r, o.uploadUrl, sizeof o.uploadUrl);
                case uUser:
                    return bufferText(def, r, o.uploadUser, sizeof o.uploadUser);
                case uPassword:
                    return bufferText(def, r, o.uploadPassword, sizeof o.uploadPassword);
                case uCorvaneId:
                    return bufferText(def, r, o.corvaneId, sizeof o.corvaneId);
                case uHttpHandler:
                    return bufferText(def, r, o.httpServerHandler, sizeof o.httpServerHandler);
                case uPartSizeMb:
                    if (!number(def, r, n)) return false;
                    if (n > static_cast<uint64_t>(INT_MAX))
                        return fail("internetOptions: part size out of range");
                    o.partSizeMb = static_cast<int>(n);
                    return true;
                default:  // the three switches
                    if (!number(def, r, n)) return false;
                    if (n > 1) return fail(std::string(def.name) + ": not 0 or 1");
                    if (def.id == uUseFtp)
                        o.protocol = static_cast<int>(n);
                    else if (def.id == uActiveFtp)
                        o.ftpPassive = n == 1 ? 0 : 1;
                    else
                        o.httpSecured = static_cast<int>(n);
                    return true;
            }
        });
    }

    // A text of the gateway record: copied with its NUL into a fixed buffer.
    bool bufferText(const FieldDef& def, Reader& r, char* buffer, size_t size) {
        std::string text;
        if (!wholeText(def, r, text)) return false;
        if (text.size() >= size || text.find('\0') != std::string::npos)
            return fail(std::string(def.name) + ": does not fit the upload record");
        memcpy(buffer, text.c_str(), text.size() + 1);
        return true;
    }

    // A text field is the bytes of the whole value.
    bool wholeText(const FieldDef& def, Reader& r, std::string& out) {
        if (r.left() > def.maxBytes)
            return fail(std::string(def.name) + ": a text of " + std::to_string(r.left()) +
                        " bytes is longer than the limit of " + std::to_string(def.maxBytes));
        r.bytes(r.left(), out);
        return checkText(def, out, error_);
    }

  private:
    std::string& error_;
};

bool decodeValue(FieldDecoder& d, const FieldDef& def, Reader& r, RequestValues& v) {
    uint64_t n = 0;
    std::vector<std::string> names;
    std::string text;
    switch (def.id) {
        case fClientId:
            if (!d.number(def, r, n)) return false;
            if (n > std::numeric_limits<unsigned int>::max())
                return d.fail("clientId: out of range");
            v.clientId = static_cast<unsigned int>(n);
            return true;
        case fOptions:
        case fExtraOptions:
            if (!d.number(def, r, n)) return false;
            (def.id == fOptions ? v.options : v.extraOptions) = static_cast<unsigned long>(n);
            return true;
        case fIgnoredValue:
        case fJobId:
        case fFromTime:
        case fToTime:
        case fTagId:
            if (!d.number(def, r, n)) return false;
            if (def.id == fFromTime || def.id == fToTime) {
                (def.id == fFromTime ? v.fromTime : v.toTime) = static_cast<time_t>(n);
            } else {
                (def.id == fIgnoredValue ? v.ignoredValue
                 : def.id == fJobId      ? v.jobId
                                         : v.tagId) = static_cast<long long>(n);
            }
            return true;
        case fJobIds:
            return d.intList(def, r, v.jobIds);
        case fCommands:
            return d.textList(def, r, v.commands);
        case fExtraNames:
            return d.textList(def, r, v.extraNames);
        case fAdditionalFolders:
            return d.textList(def, r, v.additionalFolders);
        case fIgnoredNames:
            if (!d.textList(def, r, names)) return false;
            v.ignoredNames = std::set<std::string>(names.begin(), names.end());
            return true;
        case fScrubRules:
            return d.rules(def, r, v.scrubRules);
        case fReplacements:
            return d.textMap(def, r, v.replacements);
        case fClientName:
            if (!d.wholeText(def, r, text)) return false;
            v.clientName = std::move(text);
            return true;
        case fSearchText:
            return d.wholeText(def, r, v.searchText);
        case fScrubPatterns:
            if (!d.wholeText(def, r, text)) return false;
            v.scrubPatterns = std::move(text);
            return true;
        case fCassandraFiles:
            return d.wholeText(def, r, v.cassandraFiles);
        case fKind:
            if (!d.number(def, r, n)) return false;
            if (n > static_cast<uint64_t>(RequestKind::CreateFolder))
                return d.fail("kind: unknown request kind " + std::to_string(n));
            v.kind = static_cast<RequestKind>(n);
            return true;
        case fFolderPath:
            return d.wholeText(def, r, v.folderPath);
        case fInternetOptions: {
            MsgInternetOptions options{};
            std::string fields;
            r.bytes(r.left(), fields);
            if (!d.upload(reinterpret_cast<const unsigned char*>(fields.data()), fields.size(),
                          options))
                return false;
            v.internetOptions = std::move(options);
            return true;
        }
    }
    return d.fail("unknown field");
}

}  // namespace

bool decodeRequestRecord(const unsigned char* data, size_t size, RequestValues& out,
                         std::string& error) {
    out = RequestValues();
    if (size == 0) {
        error = "empty request record";
        return false;
    }
    if (size > kMaxRecordBytes) {
        error = "request record larger than " + std::to_string(kMaxRecordBytes) + " bytes";
        return false;
    }
    if (data[0] != kRecordVersion) {
        error = "unsupported request record version " + std::to_string(data[0]);
        return false;
    }
    FieldDecoder d(error);
    return d.fields(findField, data + 1, size - 1, [&](const FieldDef& def, Reader& r) {
        return decodeValue(d, def, r, out);
    }) && checkKind(out.kind, out.folderPath, error);
}

}  // namespace service
