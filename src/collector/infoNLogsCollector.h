// The request entry and the collector that carries one log-collection request from start-up
// through the collection steps to the final bundle and teardown.
#pragma once

#include <cstdint>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "bundle/StagingCleanup.h"
#include "common/OptionBits.h"
#include "common/ReplyCodes.h"
#include "host/Export.h"
#include "host/Gateway.h"
#include "host/Log.h"
#include "host/Net.h"
#include "host/Registry.h"
#include "scrub/ScrubRule.h"

SL_API void gatherInfoNLogs(CTeSocket socket, long long ignoredValue, unsigned int clientId,
                            long long jobId, std::vector<long long> jobIds, time_t fromTime,
                            time_t toTime, unsigned long options, unsigned long extraOptions,
                            std::vector<std::string> commands, std::vector<std::string> extraNames,
                            std::vector<std::string> additionalFolders,
                            std::set<std::string> ignoredNames, ScrubRuleList scrubRules,
                            ReplacementMap replacements, const char* clientName, long long tagId,
                            std::string searchText, CWyNetwork* network,
                            const char* scrubPatternsFilePath,
                            const MsgInternetOptions* internetOptions, std::string cassandraFiles);

SL_API void gatherAndSendESXLogs(CTeSocket socket, std::string& a, std::string& b, std::string& c,
                                 std::string& d, CWyNetwork* network);

// One request's collector: built on the entry's stack, never shared.
class infoNLogsCollector {
  public:
    infoNLogsCollector(CTeSocket* socket, long long ignoredValue, unsigned int clientId,
                       long long jobId, std::vector<long long> jobIds, time_t fromTime,
                       time_t toTime, unsigned long options, unsigned long extraOptions,
                       std::vector<std::string> commands, std::vector<std::string> extraNames,
                       std::vector<std::string> additionalFolders,
                       std::set<std::string> ignoredNames, ScrubRuleList scrubRules,
                       ReplacementMap replacements, const char* clientName, long long tagId,
                       std::string searchText, CWyNetwork* network,
                       const char* scrubPatternsFilePath, const MsgInternetOptions* internetOptions,
                       std::string cassandraFiles);
    infoNLogsCollector(const infoNLogsCollector&) = delete;
    infoNLogsCollector& operator=(const infoNLogsCollector&) = delete;

    // Start-up and teardown.
    void init();
    void uninitialize();
    // Ends the request (throws its reason) when the requester has hung up: the steps left
    // would only produce what nobody receives.
    void stopIfRequesterGone() const;

    // Collection steps, in the order the entry runs them; each tests its own condition.
    void collectCommonLogs();
    void collectSysLog();
    void collectCassandraLogs();
    void collectKolvraLogs();
    void collectTessaro();
    void collectSybaseLog();
    void collectMAlogs();
    void collectCmdOutput();
    void collectOSCLogs();
    void collectAdditionalFolders();
    void collectOracleLogs();
    void collectFailOverLogs();
    void bundleAllLogs();

    // Mode queries.
    bool needFilteredLog() const;
    bool isScrubLogsEnabled() const;
    bool isOrvionLogsSet() const;
    bool isJobResultsSet() const;

    // Read access for the entry and the tests.
    const std::string& supportDir() const { return strSupportDir; }
    const std::string& bundlePath() const { return bundleFile; }
    const std::string& proxyFolderName() const { return proxyFolder; }
    const char* logDirectory() const { return logDir; }
    const char* stagingBaseDir() const { return stagingBase; }
    bool proxyClient() const { return isProxyClient; }
    const char* scrubPatternsFile() const { return scrubPatternsFilePath; }

  private:
    // Step tests set up the state a step reads.
    friend struct CollectorTestAccess;

    void sendVersionRecord();
    void sendTimeRecord(time_t now);
    void lookUpClient(time_t now);
    void applySendTimeLimit();
    void setBundleFile();
    void collectJobLog();
    void collectBundle();
    void addDiagnosticsBundle();

    // Request values, in parameter order.
    CTeSocket* socket;
    long long ignoredValue;
    unsigned int clientId;
    long long jobId;
    std::vector<long long> jobIds;
    time_t fromTime;
    time_t toTime;
    unsigned long options;
    unsigned long extraOptions;
    std::vector<std::string> commands;
    std::vector<std::string> extraNames;
    std::vector<std::string> additionalFolders;
    std::set<std::string> ignoredNames;
    ScrubRuleList scrubRules;
    ReplacementMap replacements;
    const char* clientName;
    long long tagId;
    std::string searchText;
    CWyNetwork* network;
    const char* scrubPatternsFilePath;
    const MsgInternetOptions* internetOptions;
    std::string cassandraFiles;

    // Collector state.
    EvEvent logger;
    WYPI_EventManager eventManager;
    WYPlatformInfo platformInfo;
    std::string strSupportDir;
    char jobLogPath[1024];
    char replyBuffer[128];
    char instanceName[1024];
    const char* logDir;
    FILE* jobLogFile;
    char stagingBase[128];
    time_t startTime;
    EvReturnData returnData;
    const char* clientNameText;
    std::string proxyFolder;
    WYPI_PlatformBase platformBase;
    ProxyCleanUp proxyCleanUp;
    std::string installDir;
    std::string bundleFile;
    char jobIdText[20];
    bool isProxyClient;
    unsigned long platformType;
};

// Writes "<client name><suffix>" into a reply buffer of size bytes. A client name too long
// for the buffer is shortened to a prefix plus "~" and 8 hex digits of a hash of the whole
// name (so different long names stay different), and the shortening is logged. Returns
// false only when even that cannot fit.
bool composeReplyName(const char* clientName, const char* suffix, char* buffer, size_t size);
