// The request options of "collect": how the command line names a request's values, and the
// checked conversion of their texts (times, hexadecimal words, folder entries).
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// One request, as the entry point takes it (before the scrub rules are loaded).
struct CollectRequest {
    unsigned int clientId = 0;
    long long jobId = 0;
    std::vector<long long> jobIds;
    time_t fromTime = 0, toTime = 0;
    unsigned long options = 0, extraOptions = 0;
    std::vector<std::string> commands;
    std::vector<std::string> extraNames;
    std::vector<std::string> additionalFolders;  // name, '\x12', directory
    std::optional<std::string> clientName;
    long long tagId = 0;
    std::string searchText;
    std::optional<std::string> scrubPatternsFile;
    std::string cassandraFiles;

    // The request asks for one filtered job log rather than a bundle.
    bool wantsJobLog() const;
};

// The raw texts and flags of the command line; resolve() turns them into a request.
class RequestOptions {
  public:
    // Adds the request options to app.
    void addTo(CLI::App& app);
    // False with a reason when a value does not convert.
    bool resolve(CollectRequest& out, std::string& error) const;

  private:
    unsigned int clientId_ = 0;
    long long jobId_ = 0;
    std::vector<long long> jobIds_;
    std::string from_, to_, optionsHex_, extraOptionsHex_;
    long long tagId_ = 0;
    std::string search_, clientName_, scrubPatterns_, cassandraFiles_;
    std::vector<std::string> commands_, extraNames_, folders_;
    bool productLogs_ = false, jobResults_ = false, systemInfo_ = false, cores_ = false;
    bool setupLogs_ = false, scrub_ = false;
    bool oracleBackup_ = false, oracleRestore_ = false, directResults_ = false;
    bool noOracleResults_ = false;
    CLI::App* app_ = nullptr;
};

// Adds --from and --to (each needs the other) to app.
void addWindowOptions(CLI::App& app, std::string& from, std::string& to);
// The window's two times (any form tooling::parseTimeText reads); false with a reason when a
// time does not convert or --from lies after --to.
bool resolveWindow(const std::string& from, const std::string& to, time_t& fromTime, time_t& toTime,
                   std::string& error);
// A hexadecimal word, with or without "0x".
bool parseHexWord(const std::string& text, unsigned long& out, std::string& error);
// "NAME=DIR" as the collector's folder entry: NAME, the character 0x12, DIR.
bool folderEntry(const std::string& text, std::string& out, std::string& error);

}  // namespace cli
