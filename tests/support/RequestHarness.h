// Runs requests through gatherInfoNLogs on a socket pair; decodes replies as the program does.
#pragma once

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "host/Net.h"
#include "scrub/ScrubRule.h"
#include "support/TestEnv.h"

class infoNLogsCollector;

namespace harness {

struct Request {
    unsigned clientId = 0;
    long long jobId = 0;
    std::vector<long long> jobIds;
    time_t fromTime = 0, toTime = 0;
    unsigned long options = 0, extraOptions = 0;
    std::vector<std::string> commands, extraNames, additionalFolders;
    ScrubRuleList scrubRules;
    ReplacementMap replacements;
    const char* clientName = nullptr;
    long long tagId = 0;
    std::string searchText;
    const char* scrubPatternsFilePath = nullptr;
};

struct Reply {
    std::vector<host::ReplyRecord> records;
    std::vector<host::StreamedFileInfo> files;
    std::map<std::string, std::string> contents;  // by streamed name
    bool decoded = false;
    std::string decodeError;

    const host::ReplyRecord* find(uint32_t code) const;
    bool hasFailure() const;  // a record with status 1
};

class MemorySink : public host::ReplySink {
  public:
    explicit MemorySink(Reply& reply) : reply_(reply) {}
    void onRecord(const host::ReplyRecord& record) override { reply_.records.push_back(record); }
    bool onFileBegin(const std::string& name, uint64_t) override {
        reply_.contents[current_ = name].clear();
        return true;
    }
    bool onFileData(const char* data, size_t size) override {
        reply_.contents[current_].append(data, size);
        return true;
    }
    void onFileEnd(const host::StreamedFileInfo& info) override { reply_.files.push_back(info); }

  private:
    Reply& reply_;
    std::string current_;
};

Reply run(const Request& request);

// Runs the request's collector through steps instead of its own; supportDir: the staging used.
Reply runSteps(const Request& request, void (*steps)(infoNLogsCollector&),
               std::string* supportDir = nullptr);

// An installation in a temporary folder: registry, "<dir>/Orvion/Log_Files", "<dir>/jobResults"
// (unless withJobResults is false) and the library log in a file.
class Installation {
  public:
    explicit Installation(bool withJobResults = true);
    testenv::RegistryFixture registry;
    std::string logDir, jobResultsDir, libraryLog;
    std::string log() const;  // the library log so far
    // Staging directories ("Support_*") currently in dir.
    static std::vector<std::string> stagingDirs(const std::string& dir);

  private:
    testenv::ScopedEnv logEnv_;
};

// A fresh sandbox with the given cases on, pointed at (registry, instance, program stand-ins,
// library log) for the object's lifetime. Throws when it cannot be made.
class Sandbox {
  public:
    explicit Sandbox(const std::vector<std::string>& cases = {}, uint64_t logBytes = 256 << 10);
    testenv::TempDir scratch{"sandbox"};
    const std::string root = scratch.file("sb");
    const std::string libraryLog = scratch.file("library.log");
    std::string log() const;  // the library log so far
    void enable(const std::string& name) const;

  private:
    testenv::ScopedEnv registry_, instance_, path_, logFile_;
};

}  // namespace harness
