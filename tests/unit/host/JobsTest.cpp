#include <gtest/gtest.h>

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

TEST(Jobs, ProxyDownloadsTheClientTree) {
    RegistryFixture registry;
    EXPECT_FALSE(ProxyServices::instanceForClient(1, 5, 0, false, true));

    std::string remote = registry.makeDir("remote5");
    writeFile(remote + "/wyd.log", "log line\n");
    writeFile(remote + "/jobResults/2/0/17/result.txt", "result");
    registry.setString("Clients/5", "dProxyFolder", remote);
    auto proxy = ProxyServices::instanceForClient(1, 5, 0, false, true);
    ASSERT_TRUE(proxy);

    std::string local = registry.dir().file("logs/proxyClient/ABC");
    EXPECT_FALSE(proxy->downloadLogFiles(local, 0).IsError());
    EXPECT_EQ(readFile(local + "/wyd.log"), "log line\n");
    EXPECT_EQ(readFile(local + "/jobResults/2/0/17/result.txt"), "result");

    EXPECT_FALSE(proxy->createNewFolder("/new folder").IsError());
    EXPECT_TRUE(exists(remote + "/new folder"));
    EXPECT_TRUE(proxy->createNewFolder("/new folder").IsError());
    EXPECT_TRUE(proxy->createNewFolder("/../escape").IsError());
    EXPECT_FALSE(exists(registry.dir().file("escape")));

    registry.setString("Clients/6", "dProxyFolder", registry.dir().file("absent"));
    auto unreachable = ProxyServices::instanceForClient(1, 6, 0, false, true);
    ASSERT_TRUE(unreachable);
    EXPECT_TRUE(unreachable->downloadLogFiles(registry.dir().file("l6"), 0).IsError());
}
