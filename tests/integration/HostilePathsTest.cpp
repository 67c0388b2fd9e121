// Paths and names a shell would act on, in every configured folder and the client name: the
// bundle holds what they name, and nothing they spell runs.
#include <gtest/gtest.h>

#include "collector/infoNLogsCollector.h"
#include "host/Process.h"
#include "support/BundleScan.h"
#include "support/RequestHarness.h"

namespace {

const std::string kHostile = "a b 'q\" $(touch $SL_MARK) `touch $SL_MARK`";

TEST(HostilePaths, AreBundledAndNeverRun) {
    harness::Installation inst;
    testenv::TempDir markers("ls-marker");
    const std::string mark = markers.file("ran");
    testenv::ScopedEnv markEnv("SL_MARK", mark);

    const std::string root = inst.registry.makeDir(kHostile);
    const std::string logDir = root + "/Log_Files";
    testenv::writeFile(logDir + "/wyd.log", "log line\n");
    testenv::writeFile(logDir + "/" + kHostile + ".log", "hostile log line\n");
    const std::string jobResults = root + "/jobResults";
    testenv::writeFile(jobResults + "/WY_JobResults/2/0/7/JobSummary.txt", "Job Id: 7\n");
    const std::string base = root + "/base";
    testenv::writeFile(base + "/FwConfig.txt", "[outgoing]\n");
    inst.registry.makeDir(kHostile + "/base/Temp");
    const std::string home = root + "/home";
    testenv::writeFile(home + "/WyDiagnostics",
                       "#!/bin/sh\nwhile [ $# -gt 0 ]; do [ \"$1\" = -output ] && out=$2; shift; "
                       "done\necho report > \"$out/WyDiagnostics.7z\"\n");
    ASSERT_EQ(0, testenv::runShell("chmod 755 " + host::shellQuote(home + "/WyDiagnostics")));
    const std::string extra = root + "/extra " + kHostile;
    testenv::writeFile(extra + "/app.log", "extra line\n");

    inst.registry.setString("EventManager", "dEVLOGDIR", logDir);
    inst.registry.setString("Base", "dJOBRESULTSDIR", jobResults);
    inst.registry.setString("Base", "dBASEHOME", base);
    inst.registry.setString("Base", "dORVIONHOME", home);
    inst.registry.setString("Clients/" + kHostile, "dJobResultsDir", jobResults);

    harness::Request r;
    r.options = OPT_PRODUCT_LOGS | OPT_JOB_RESULTS | OPT_ORACLE_BACKUP;
    r.jobId = 7;
    r.clientName = kHostile.c_str();
    r.additionalFolders = {kHostile + '\x12' + extra};
    r.extraNames = {"$(touch $SL_MARK)", "`touch $SL_MARK`"};
    harness::Reply reply = harness::run(r);

    EXPECT_FALSE(testenv::exists(mark)) << "a name ran as a command";
    const host::ReplyRecord* name = reply.find(REPLY_BUNDLE_NAME_CODE);
    ASSERT_NE(nullptr, name);
    EXPECT_EQ(kHostile + "_logs.tar.gz", name->fields.at(0).second);
    ASSERT_EQ(1u, reply.files.size());
    const std::string bundle = inst.registry.dir().file("bundle.tar.gz");
    testenv::writeFile(bundle, reply.contents.at(reply.files[0].name));
    std::vector<bundlescan::Member> members;
    std::string error;
    ASSERT_TRUE(bundlescan::readMembers(bundle, members, error)) << error;
    for (const std::string& suffix :
         {"./" + kHostile + ".log", kHostile + "/base/FwConfig.txt",
          kHostile + "/jobResults/WY_JobResults/2/0/7/JobSummary.txt",
          kHostile + "/jobResults/WY_JobResults/2/0/7/backup.out",
          kHostile + ".tar!" + extra.substr(1) + "/app.log", std::string("./WyDiagnostics.7z")})
        EXPECT_NE(nullptr, bundlescan::find(members, suffix)) << suffix;
    EXPECT_TRUE(harness::Installation::stagingDirs(jobResults).empty());
}

}  // namespace
