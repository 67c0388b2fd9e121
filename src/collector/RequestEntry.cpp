// The exported request entry: builds the collector, runs the steps in their fixed order and
// always tears down, whatever a step throws.
#include <exception>

#include "collector/RequestRunner.h"
#include "collector/infoNLogsCollector.h"

void runAllSteps(infoNLogsCollector& collector) {
    using Step = void (infoNLogsCollector::*)();
    static constexpr Step kSteps[] = {
        &infoNLogsCollector::init,
        &infoNLogsCollector::collectCommonLogs,
        &infoNLogsCollector::collectSysLog,
        &infoNLogsCollector::collectCassandraLogs,
        &infoNLogsCollector::collectKolvraLogs,
        &infoNLogsCollector::collectTessaro,
        &infoNLogsCollector::collectSybaseLog,
        &infoNLogsCollector::collectMAlogs,
        &infoNLogsCollector::collectCmdOutput,
        &infoNLogsCollector::collectOSCLogs,
        &infoNLogsCollector::collectAdditionalFolders,
        &infoNLogsCollector::collectOracleLogs,
        &infoNLogsCollector::collectFailOverLogs,
        &infoNLogsCollector::bundleAllLogs,
    };
    // init answers the requester first; from then on a hang-up ends the request early.
    for (const Step step : kSteps) {
        if (step != kSteps[0]) collector.stopIfRequesterGone();
        (collector.*step)();
    }
}

void runCollectorRequest(infoNLogsCollector& collector, CWyNetwork* network, CollectorSteps steps) {
    try {
        steps(collector);
    } catch (const std::string& reason) {
        EvEvent().Error("gatherInfoNLogs", "Exception: %s", reason.c_str());
    } catch (const std::exception& e) {
        // Nothing but the collector's own reasons is expected here; whatever else escapes a
        // step must not reach the host process, and the requester must learn of the failure.
        EvEvent().Error("gatherInfoNLogs", "Unexpected exception: %s", e.what());
        EvReturnData(network).end(1);
    } catch (...) {
        EvEvent().Error("gatherInfoNLogs", "Unexpected exception of unknown type");
        EvReturnData(network).end(1);
    }
    collector.uninitialize();
}

void gatherInfoNLogs(CTeSocket socket, long long ignoredValue, unsigned int clientId,
                     long long jobId, std::vector<long long> jobIds, time_t fromTime, time_t toTime,
                     unsigned long options, unsigned long extraOptions,
                     std::vector<std::string> commands, std::vector<std::string> extraNames,
                     std::vector<std::string> additionalFolders, std::set<std::string> ignoredNames,
                     ScrubRuleList scrubRules, ReplacementMap replacements, const char* clientName,
                     long long tagId, std::string searchText, CWyNetwork* network,
                     const char* scrubPatternsFilePath, const MsgInternetOptions* internetOptions,
                     std::string cassandraFiles) {
    infoNLogsCollector collector(
        &socket, ignoredValue, clientId, jobId, std::move(jobIds), fromTime, toTime, options,
        extraOptions, std::move(commands), std::move(extraNames), std::move(additionalFolders),
        std::move(ignoredNames), std::move(scrubRules), std::move(replacements), clientName, tagId,
        std::move(searchText), network, scrubPatternsFilePath, internetOptions,
        std::move(cassandraFiles));
    runCollectorRequest(collector, network, runAllSteps);
}

void gatherAndSendESXLogs(CTeSocket socket, std::string& a, std::string& b, std::string& c,
                          std::string& d, CWyNetwork* network) {}
