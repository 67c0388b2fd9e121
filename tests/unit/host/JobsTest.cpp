#include <gtest/gtest.h>
#include <unistd.h>

#include "host/JobResults.h"
#include "host/Jobs.h"
#include "host/Log.h"
#include "support/TestEnv.h"

using namespace testenv;

TEST(Jobs, JobResultsDirectoryForThisMachineAndOthers) {
    host::setLogFilePath("");
    RegistryFixture registry;
    registry.setString("Base", "sPhysicalMachine", "client01");
    registry.setString("Base", "dJOBRESULTSDIR", "/var/jr");
    registry.setString("Clients/client02", "dJobResultsDir", "/remote/jr");
    WYPI_CommClient comm;
    comm.setFocus(WYPI_Focus::getFocus());
    EXPECT_EQ(comm.getJobResultsDirectory("client01"), "/var/jr");
    EXPECT_EQ(comm.getJobResultsDirectory("client02"), "/remote/jr");
    EXPECT_EQ(comm.getJobResultsDirectory("client03"), "");
    EXPECT_EQ(comm.getJobResultsDirectory("../client02"), "");

    char dir[1024], e1[1024], e2[1024];
    EXPECT_TRUE(comm.getJobResultsDirectory("client01", dir, e1, e2, sizeof dir));
    EXPECT_STREQ(dir, "/var/jr");
    char small[7];
    EXPECT_FALSE(comm.getJobResultsDirectory("client01", small, nullptr, nullptr, sizeof small));
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(comm.getJobResultsDirectory("client03", dir, e1, e2, sizeof dir));
    host::resetLogSettings();
}

TEST(Jobs, RemoteClientTargetComesFromTheRegistry) {
    host::setLogFilePath("");
    RegistryFixture registry;
    host::RemoteClientTarget target;
    std::string error;
    EXPECT_FALSE(host::lookUpRemoteClient(5, target, error));
    EXPECT_TRUE(testenv::contains(error, "Clients/5/sServiceAddress")) << error;
    registry.setString("Clients/5", "sServiceAddress", "127.0.0.1");
    EXPECT_FALSE(host::lookUpRemoteClient(5, target, error));
    EXPECT_TRUE(testenv::contains(error, "HOST:PORT")) << error;

    registry.setString("Clients/5", "sServiceAddress", "[::1]:8443");
    registry.setString("RemoteClients", "sCertFile", "/pki/me.pem");
    registry.setNumber("RemoteClients", "nConnectTimeout", 2);
    registry.setNumber("RemoteClients", "nIdleTimeout", 0);  // out of range: the default
    ASSERT_TRUE(host::lookUpRemoteClient(5, target, error)) << error;
    EXPECT_EQ(target.address.text(), "[::1]:8443");
    EXPECT_EQ(target.tls.cert, "/pki/me.pem");
    EXPECT_EQ(target.tls.key, "/etc/sendlogs/requester.key");
    EXPECT_EQ(target.connectMs, 2000);
    EXPECT_EQ(target.idleMs, 600000);

    // Without a connector no client is reachable, whatever the registry says.
    const auto installed = host::remoteClientConnector();
    host::setRemoteClientConnector(nullptr);
    EXPECT_FALSE(ProxyServices::instanceForClient(1, 5, 0, false, true));
    host::setRemoteClientConnector(installed);
    host::resetLogSettings();
}

// Job result files: where they are, which are used as they are, generation never via a link.
TEST(RetrieveResults, FindsChecksAndGeneratesTheResultFile) {
    testenv::RegistryFixture registry;
    host::setLogFilePath(registry.dir().file("library.log"));
    const std::string jobResults = registry.makeDir("jr");
    registry.setString("Base", "dJOBRESULTSDIR", jobResults);
    registry.setString("Base", "sPhysicalMachine", "client01");
    const std::string job = jobResults + "/WY_JobResults/2/0/55";
    testenv::writeFile(job + "/JobSummary.txt", "Job Id: 55\n");

    RetrieveResults restore(2, 55, 2, nullptr, 0);
    ASSERT_NE(nullptr, restore.getPath());
    EXPECT_EQ(job + "/restore.out", restore.getPath());
    EXPECT_EQ(nullptr, RetrieveResults(2, 56, 1, nullptr, 0).getPath());  // no such job
    EXPECT_EQ(nullptr, RetrieveResults(2, 55, 1, "unknown", 0).getPath());

    const std::string path = restore.getPath();
    EXPECT_FALSE(restore.checkBackupFile(path.c_str()));  // missing
    testenv::writeFile(path, "");
    EXPECT_FALSE(restore.checkBackupFile(path.c_str()));  // empty
    // A link is replaced by the generated file; what it pointed to stays as it was.
    const std::string elsewhere = registry.dir().file("elsewhere.txt");
    testenv::writeFile(elsewhere, "not a result\n");
    ASSERT_EQ(0, unlink(path.c_str()));
    ASSERT_EQ(0, symlink(elsewhere.c_str(), path.c_str()));
    EXPECT_FALSE(restore.checkBackupFile(path.c_str()));
    ASSERT_TRUE(restore.generateFile(path.c_str()));
    EXPECT_EQ("not a result\n", testenv::readFile(elsewhere));
    EXPECT_TRUE(restore.checkBackupFile(path.c_str()));
    const std::string text = readFile(path);
    EXPECT_TRUE(contains(text, "job 55 (restore)") && contains(text, "Job Id: 55")) << text;
    host::resetLogSettings();
}
