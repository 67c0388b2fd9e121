// "sendlogs mkdir": a browse request that creates a folder on this machine or, for a client
// behind the proxy, on that client; prints the reply the requester would get.
#include <cstdio>
#include <string>

#include "CliSupport.h"
#include "Commands.h"
#include "RegistryTarget.h"
#include "delivery/RemoteFolder.h"

namespace {

// Keeps the browse replies of the stream; there are no files in it.
class BrowseSink : public host::ReplySink {
  public:
    std::vector<host::BrowseReply> replies;
    int otherRecords = 0;
    void onRecord(const host::ReplyRecord& record) override {
        host::BrowseReply reply;
        if (host::decodeBrowseReply(record, reply))
            replies.push_back(reply);
        else
            ++otherRecords;
    }
    bool onFileBegin(const std::string&, uint64_t) override { return false; }
    bool onFileData(const char*, size_t) override { return false; }
    void onFileEnd(const host::StreamedFileInfo&) override {}
};

struct MkdirOptions {
    cli::RegistryTarget target;
    unsigned int clientId = 0;
    long long requestId = 1;
    std::string path;
};

int runMkdir(MkdirOptions& o, const cli::CommonOptions& common) {
    const cli::RegistryTarget& target = o.target;
    const unsigned int clientId = o.clientId;
    const long long requestId = o.requestId;
    std::string& path = o.path;
    cli::applyCommonOptions(common, cli::LibraryLog::Installation);

    std::string error;
    if (!target.apply(error)) {
        cli::printError("mkdir: " + error);
        return cli::kExitFailed;
    }
    CTeSocket libraryEnd, requesterEnd;
    CTeError pair = CTeSocket::createPair(libraryEnd, requesterEnd);
    if (pair.IsError()) {
        cli::printError("mkdir: " + pair.AsString());
        return cli::kExitFailed;
    }
    {
        // One small record: it fits the socket pair's buffer, so one thread suffices.
        CWyNetwork network(libraryEnd);
        unixBrowseCreateNewFolder(path.data(), libraryEnd, requestId, clientId, &network);
        libraryEnd = CTeSocket();
    }
    BrowseSink sink;
    std::string decodeError;
    if (!host::readReplies(requesterEnd.fd(), sink, decodeError) || sink.replies.size() != 1) {
        cli::printError("mkdir: expected one browse reply, got " +
                        std::to_string(sink.replies.size()) +
                        (decodeError.empty() ? "" : ": " + decodeError));
        return cli::kExitFailed;
    }
    const host::BrowseReply& reply = sink.replies.front();
    std::printf("mkdir: request %lld: %s: %s\n", static_cast<long long>(reply.requestId),
                reply.status == 1 ? "created" : "FAILED", reply.message.c_str());
    return reply.status == 1 ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace

namespace cli {

void addMkdirCommand(Program& program) {
    auto o = std::make_shared<MkdirOptions>();
    CLI::App* app = addCommand(
        program, program.app, "mkdir",
        "create a folder as a browse request would, and print the reply\n"
        "Creates a folder as a browse request would, on this machine or on a client behind the "
        "proxy, and prints the reply.",
        std::string(kExitStatusHelp) +
            "\nExample:\n  sendlogs mkdir --sandbox sb --client-id 0 /tmp/new-folder",
        [o, &common = program.common] { return runMkdir(*o, common); });
    o->target.addTo(*app);
    app->add_option("--client-id", o->clientId, "Client to create it on (0: this machine)")
        ->required();
    app->add_option("--request-id", o->requestId, "Request id carried by the reply");
    app->add_option("PATH", o->path, "Folder to create")->required();
}

}  // namespace cli
