// Steps that collect the logs and configuration of applications on this machine: Cassandra
// and Scylla files, the appliance bundle, database server logs, media agent files and the
// OSC configuration.
#include <cstdio>

#include "bundle/Archive7z.h"
#include "collector/StepSupport.h"
#include "collector/infoNLogsCollector.h"
#include "common/Appliance.h"
#include "diag/ApplianceLogs.h"
#include "diag/DiagnosticsTools.h"
#include "diag/ShellScript.h"
#include "host/Applications.h"
#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Jobs.h"
#include "host/Process.h"
#include "host/Registry.h"

namespace {

const int kSybaseAppType = 5;

std::vector<std::string> cassandraFileList(const std::string& extra) {
    std::vector<std::string> files = {"/etc/dse/cassandra/cassandra.yaml",
                                      "/etc/dse/cassandra/cassandra-env.sh",
                                      "/etc/scylla/scylla.yaml"};
    size_t start = 0;
    while (start <= extra.size()) {
        size_t end = extra.find(';', start);
        if (end == std::string::npos) end = extra.size();
        if (end > start) files.push_back(extra.substr(start, end - start));
        start = end + 1;
    }
    return files;
}

}  // namespace

std::string GetOscConfigFile() {
    const char* tag = "GetOscConfigFile";
    EvEvent log;
    WYPlatformInfo info;
    info.setFocus(WYPI_Focus::getFocus());
    const char* machine = info.getPhysicalMachine();
    if (machine == nullptr) {
        log.Error(tag, "Couldn't retrieve physical machine client name");
        return "";
    }
    WYPI_CommClient comm;
    comm.setFocus(WYPI_Focus::getFocus());
    const std::string results = comm.getJobResultsDirectory(machine);
    if (results.empty()) {
        log.Error(tag, "Could not retrieve job results directory for client [%s]", machine);
        return "";
    }
    const std::string path = results + "/osc_config.xml";
    if (!host::FileHandle::open(path.c_str(), "r+")) {
        log.Error(tag, "The OSC config [%s] for client [%s] can't be accessed", path.c_str(),
                  machine);
        return "";
    }
    return path;
}

void infoNLogsCollector::collectCassandraLogs() {
    const char* tag = "collectCassandraLogs";
    const std::vector<std::string> files = cassandraFileList(cassandraFiles);
    if (!collector::haveBundle(bundleFile, tag)) return;
    if (isScrubLogsEnabled()) {
        // These files are not scrubbed: a scrubbed request leaves them out.
        logger.Debug(tag, "Scrub logs is enabled. Will skip collecting Cassandra files.");
        return;
    }
    for (const std::string& file : files) {
        if (!host::FileHandle::open(file.c_str(), "r")) {
            logger.Debug(tag, "[%s] can't be opened or doesn't exist", file.c_str());
            continue;
        }
        const std::string command =
            "tar -rvf " + host::shellQuote(bundleFile) + " " + host::shellQuote(file);
        std::string out, err;
        if (WyProcess::system(command.c_str(), &out, &err, 0, false) != 0)
            logger.Error(tag, "Failed to run [%s] out [%s] err[%s].", command.c_str(), out.c_str(),
                         err.c_str());
    }
}

void infoNLogsCollector::collectTessaro() {
    if (!(extraOptions & EXTRA_OPT_APPLIANCE_LOGS) || !(platformType & 0x2) || !is_tessaro_ma() ||
        !collector::haveBundle(bundleFile, "collectTessaro"))
        return;
    bundleTessaroLogs(startTime, strSupportDir, bundleFile, options, extraOptions, installDir,
                      &scrubRules, &replacements);
}

void infoNLogsCollector::collectSybaseLog() {
    const char* tag = "collectSybaseLog";
    if (!isOrvionLogsSet() || isProxyClient || !collector::haveBundle(bundleFile, tag)) return;
    GetCertificatesFolder(bundleFile.c_str());

    ClientApplicationList applications;
    std::vector<unsigned long> ids;
    std::vector<std::string> names;
    if (applications.getInstanceList(clientId, kSybaseAppType, ids, names, nullptr, 1) != 0 ||
        ids.empty()) {
        logger.DebugLvl(tag, 6, "No Sybase instances found.");
        return;
    }
    std::string operands;
    for (unsigned long id : ids) {
        SybaseInstance instance(id);
        const std::string dir =
            instance.getSybaseHome() + "/" + instance.getSybaseASE() + "/" + "install";
        if (FXFolder::DoesFolderExist(dir))
            operands += collector::rootOperand(dir, "*.log") + " ";
        else
            logger.Error(tag,
                         "Expected Sybase install directory [%s] not present. Sybase instance "
                         "id:[%lu]",
                         dir.c_str(), id);
    }
    if (!operands.empty()) collector::runTar(collector::tarFromRoot(bundleFile, operands), tag);
}

void infoNLogsCollector::collectMAlogs() {
    const char* tag = "collectMAlogs";
    if (!isOrvionLogsSet() || isProxyClient || !(platformType & 0x2) ||
        !collector::haveBundle(bundleFile, tag))
        return;
    if (jobId != 0 && getWyPerfMgrLogAnalysisReport(strSupportDir.c_str(),
                                                    static_cast<unsigned long long>(jobId))) {
        const std::string report = strSupportDir + "/PerfAnalysis_" +
                                   std::to_string(static_cast<unsigned long>(jobId)) + ".log";
        if (!host::FileHandle::open(report.c_str(), "r"))
            logger.DebugLvl(tag, 3, "PerfAnalysis failed to be generated for [%lld]", jobId);
        else
            collector::runTar(std::string("tar ") + diag::tarCreateOrAppend(bundleFile) + "vf " +
                                  host::shellQuote(bundleFile) + " " + host::shellQuote(report),
                              tag);
    }

    char database[1024] = {0};
    int size = sizeof database;
    if (platformInfo.getString("MediaAgent", "sLibraryServerDBFullPath", database, size) &&
        database[0] != '\0') {
        logger.Debug(tag, "Getting library server DB from location : [%s]", database);
        collector::runTar(collector::tarFromRoot(bundleFile, collector::rootOperand(database)),
                          tag);
    } else {
        logger.DebugLvl(tag, 3, "Not collecting Library server DB since it is not configured.");
    }

    WYPI_FileSystemAgent agent;
    agent.setFocus(instanceName);
    std::vector<std::string> stores;
    if (agent.getAllSIDBAccessPath(stores) != 0 || stores.empty()) {
        logger.DebugLvl(tag, 3,
                        "Not collecting CTSTATUS.FCS and ctsrvr.cfg filessince either DDB is not "
                        "hosted on this MA or cannot find SIDB access paths in Registry.");
        return;
    }
    std::string operands;
    for (const std::string& store : stores) {
        operands += collector::rootOperand(store, "Group*/CTSTATUS.FCS") + " ";
        operands += collector::rootOperand(store, "Group*/ctsrvr.cfg") + " ";
    }
    collector::runTar(collector::tarFromRoot(bundleFile, operands), tag);
}

void infoNLogsCollector::collectOSCLogs() {
    const char* tag = "collectOSCLogs";
    if (isProxyClient || !(isJobResultsSet() || isOrvionLogsSet()) ||
        !collector::haveBundle(bundleFile, tag))
        return;
    const std::string config = GetOscConfigFile();
    if (!config.empty())
        collector::runTar(collector::tarFromRoot(bundleFile, collector::rootOperand(config)), tag);
}
