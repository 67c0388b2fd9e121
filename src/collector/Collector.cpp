// The collector object: construction, mode queries, and the steps that other collection
// stages fill in.
#include <cstring>
#include <ctime>

#include "collector/infoNLogsCollector.h"

infoNLogsCollector::infoNLogsCollector(
    CTeSocket* socket_, long long ignoredValue_, unsigned int clientId_, long long jobId_,
    std::vector<long long> jobIds_, time_t fromTime_, time_t toTime_, unsigned long options_,
    unsigned long extraOptions_, std::vector<std::string> commands_,
    std::vector<std::string> extraNames_, std::vector<std::string> additionalFolders_,
    std::set<std::string> ignoredNames_, ScrubRuleList scrubRules_, ReplacementMap replacements_,
    const char* clientName_, long long tagId_, std::string searchText_, CWyNetwork* network_,
    const char* scrubPatternsFilePath_, const MsgInternetOptions* internetOptions_,
    std::string cassandraFiles_)
    : socket(socket_),
      ignoredValue(ignoredValue_),
      clientId(clientId_),
      jobId(jobId_),
      jobIds(std::move(jobIds_)),
      fromTime(fromTime_),
      toTime(toTime_),
      options(options_),
      extraOptions(extraOptions_),
      commands(std::move(commands_)),
      extraNames(std::move(extraNames_)),
      additionalFolders(std::move(additionalFolders_)),
      ignoredNames(std::move(ignoredNames_)),
      scrubRules(std::move(scrubRules_)),
      replacements(std::move(replacements_)),
      clientName(clientName_),
      tagId(tagId_),
      searchText(std::move(searchText_)),
      network(network_),
      scrubPatternsFilePath(scrubPatternsFilePath_),
      internetOptions(internetOptions_),
      cassandraFiles(std::move(cassandraFiles_)),
      logDir(nullptr),
      jobLogFile(nullptr),
      startTime(time(nullptr)),
      returnData(network_),
      clientNameText(nullptr),
      isProxyClient(false),
      platformType(0) {
    memset(jobLogPath, 0, sizeof(jobLogPath));
    memset(replyBuffer, 0, sizeof(replyBuffer));
    memset(instanceName, 0, sizeof(instanceName));
    memset(stagingBase, 0, sizeof(stagingBase));
    memset(jobIdText, 0, sizeof(jobIdText));
}

void infoNLogsCollector::stopIfRequesterGone() const {
    if (socket != nullptr && socket->peerHungUp())
        throw std::string("The requester hung up; the request stops.");
}

bool infoNLogsCollector::isScrubLogsEnabled() const {
    return (options & OPT_SCRUB_LOGS) != 0;
}

bool infoNLogsCollector::needFilteredLog() const {
    bool byJob = (options & OPT_FILTER_BY_JOB) && !(options & OPT_DIRECT_RESULTS) && jobId >= 1;
    return byJob || tagId >= 1 || !searchText.empty();
}

bool infoNLogsCollector::isOrvionLogsSet() const {
    bool scrub = isScrubLogsEnabled();
    if (needFilteredLog()) return isProxyClient && (options & OPT_JOB_RESULTS) && !scrub;
    if (!isProxyClient) return !scrub;
    return (options & (OPT_PRODUCT_LOGS | OPT_JOB_RESULTS)) && !scrub;
}

bool infoNLogsCollector::isJobResultsSet() const {
    return !needFilteredLog() && !isProxyClient && (options & OPT_JOB_RESULTS) &&
           !isScrubLogsEnabled();
}
