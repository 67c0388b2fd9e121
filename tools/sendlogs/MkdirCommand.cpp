// "sendlogs mkdir": a browse request that creates a folder on this machine or, for a client
// behind the proxy, on that client; prints the reply the requester would get.
#include <cstdio>
#include <string>

#include "CliSupport.h"
#include "Command.h"
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

int runMkdir(int argc, char** argv) {
    CLI::App app{"Create a folder as a browse request would, and print the reply.",
                 "sendlogs mkdir"};
    cli::RegistryTarget target;
    target.addTo(app);
    unsigned int clientId = 0;
    long long requestId = 1;
    std::string path;
    app.add_option("--client-id", clientId, "Client to create it on (0: this machine)")->required();
    app.add_option("--request-id", requestId, "Request id carried by the reply");
    app.add_option("PATH", path, "Folder to create")->required();
    app.footer(cli::kExitStatusHelp);
    cli::CommonOptions common;
    cli::addCommonOptions(app, common, false);
    if (auto code = cli::parseCommandLine(app, argc, argv)) return *code;
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

SENDLOGS_COMMAND("mkdir", "create a folder as a browse request would, and print the reply",
                 runMkdir);
