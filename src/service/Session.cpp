// One connection: handshake, request record, request, close.
#include "service/Session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "collector/infoNLogsCollector.h"
#include "common/JobResultPaths.h"
#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Wire.h"
#include "service/RequestRecord.h"
#include "service/Service.h"

namespace service {
namespace {

// The patterns file that came with a request, in a folder only this user can enter; both
// are removed when the request ends.
class PatternsFile {
  public:
    ~PatternsFile() {
        if (!dir_.empty()) CTeDirectory::Remove(dir_, true, false);
    }
    bool write(const std::string& content, std::string& error) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/sendlogs-request-XXXXXX";
        if (::mkdtemp(&pattern[0]) == nullptr) {
            error = "cannot create a folder for the scrub patterns: " +
                    std::string(std::strerror(errno));
            return false;
        }
        dir_ = pattern;
        path_ = dir_ + "/scrub_patterns.txt";
        host::FileHandle file = host::FileHandle::open(path_.c_str(), "wb");
        if (!file || !file.write(content.data(), content.size()) || !file.close()) {
            error = "cannot store the scrub patterns in " + path_ + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    const char* path() const { return path_.empty() ? nullptr : path_.c_str(); }

  private:
    std::string dir_, path_;
};

enum class ReadOutcome { Ok, Malformed, Broken };

ReadOutcome readExactly(host::TlsConnection& tls, void* buffer, size_t size, std::string& error) {
    char* p = static_cast<char*>(buffer);
    while (size > 0) {
        const long got = tls.read(p, size, error);
        if (got < 0) return ReadOutcome::Broken;
        if (got == 0) {
            error = "the requester closed the connection inside its request record";
            return ReadOutcome::Broken;
        }
        p += got;
        size -= static_cast<size_t>(got);
    }
    return ReadOutcome::Ok;
}

ReadOutcome readRecord(host::TlsConnection& tls, size_t limit, RequestValues& values,
                       std::string& error) {
    unsigned char header[host::wire::kHeaderSize];
    const ReadOutcome got = readExactly(tls, header, sizeof header, error);
    if (got != ReadOutcome::Ok) return got;
    if (header[0] != kRequestFrame) {
        error = "not a request record (frame type " + std::to_string(header[0]) + ")";
        return ReadOutcome::Malformed;
    }
    const uint32_t length = host::wire::getU32(header + 1);
    if (length > std::min(limit, kMaxRecordBytes)) {
        error = "request record of " + std::to_string(length) +
                " bytes is larger than the limit of " + std::to_string(limit);
        return ReadOutcome::Malformed;
    }
    std::vector<unsigned char> record(length);
    const ReadOutcome body = readExactly(tls, record.data(), record.size(), error);
    if (body != ReadOutcome::Ok) return body;
    if (!decodeRequestRecord(record.data(), record.size(), values, error))
        return ReadOutcome::Malformed;
    return ReadOutcome::Ok;
}

void sendRefusal(const std::shared_ptr<host::TlsConnection>& tls, const std::string& reason) {
    CTeSocket socket(tls);
    CWyNetwork network(socket);
    EvReturnData reply(&network);
    reply.begin(kRefusedCode, 0, socket, true);
    reply.add(kRefusedReasonTag, reason.data(), reason.size());
    reply.end(1);
}

int lingerMs(const ServiceSettings& settings) {
    return static_cast<int>(std::min<long long>(settings.idleTimeLimit.count(), 2000));
}

// Where this machine's job results directory is inside a log bundle: its path as tar
// stores it, without the leading "/" (the same directory the bundle's job results step
// packs).
std::string jobResultsPrefix(const RequestValues& v) {
    const std::string client =
        common::clientOrThisMachine(v.clientName ? v.clientName->c_str() : nullptr);
    std::string dir = common::jobResultsDirectoryOf(client.c_str());
    const size_t start = dir.find_first_not_of('/');
    return start == std::string::npos ? std::string() : dir.substr(start);
}

void sendProxyLayout(CTeSocket& socket, CWyNetwork& network, const RequestValues& v) {
    const std::string prefix = jobResultsPrefix(v);
    EvReturnData reply(&network);
    reply.begin(kProxyLayoutCode, 0, socket, true);
    reply.add(kJobResultsPrefixTag, prefix.data(), prefix.size());
    reply.end(0);
}

void runRequest(const std::shared_ptr<host::TlsConnection>& tls, RequestValues& v,
                const char* patternsPath, SessionResult& result) {
    CTeSocket socket(tls);
    CWyNetwork network(socket);
    try {
        if (v.kind == RequestKind::CreateFolder) {
            machineBrowseCreateNewFolder(v.folderPath.c_str(), socket, 0, nullptr, nullptr, nullptr,
                                         &network);
        } else {
            if (v.kind == RequestKind::ProxyDownload) sendProxyLayout(socket, network, v);
            gatherInfoNLogs(
                socket, v.ignoredValue, v.clientId, v.jobId, std::move(v.jobIds), v.fromTime,
                v.toTime, v.options, v.extraOptions, std::move(v.commands), std::move(v.extraNames),
                std::move(v.additionalFolders), std::move(v.ignoredNames), std::move(v.scrubRules),
                std::move(v.replacements), v.clientName ? v.clientName->c_str() : nullptr, v.tagId,
                std::move(v.searchText), &network, patternsPath,
                v.internetOptions ? &*v.internetOptions : nullptr, std::move(v.cassandraFiles));
        }
    } catch (const std::exception& e) {
        result.problem = std::string("the request raised: ") + e.what();
    } catch (...) {
        result.problem = "the request raised an exception of unknown type";
    }
    result.connectionBroken = socket.broken();
}

}  // namespace

SessionResult runSession(const std::shared_ptr<host::TlsConnection>& tls,
                         const ServiceSettings& settings, const std::function<bool()>& begin) {
    SessionResult result;
    std::string error;
    if (!tls->accept(error)) {
        result.problem = error;
        // The requester may already be sending its record; without the pause its data would
        // make the kernel reset the connection and lose the alert that tells it why.
        tls->close(lingerMs(settings));
        return result;
    }
    result.who = tls->peerSubject();
    RequestValues values;
    const ReadOutcome read = readRecord(*tls, settings.maxRecordBytes, values, error);
    if (read != ReadOutcome::Ok) {
        result.kind = SessionResult::Kind::Rejected;
        result.problem = error;
        // A requester that sent something wrong learns why; one that went away does not.
        if (read == ReadOutcome::Malformed) sendRefusal(tls, error);
        tls->close(read == ReadOutcome::Malformed ? lingerMs(settings) : 0);
        result.bytes = tls->bytesWritten();
        return result;
    }
    result.what = describeRequest(values);
    PatternsFile patterns;
    if (values.scrubPatterns && !patterns.write(*values.scrubPatterns, error)) {
        result.kind = SessionResult::Kind::Rejected;
        result.problem = error;
        sendRefusal(tls, "the service cannot store the scrub patterns");
        tls->close(lingerMs(settings));
        return result;
    }
    result.kind = SessionResult::Kind::NotStarted;
    if (!begin()) return result;
    result.kind = SessionResult::Kind::Ran;
    runRequest(tls, values, patterns.path(), result);
    if (!result.connectionBroken) tls->close(lingerMs(settings));
    result.bytes = tls->bytesWritten();
    return result;
}

}  // namespace service
