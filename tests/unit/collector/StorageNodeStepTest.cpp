// The storage node step as root in a private mount namespace holding its /opt tool and /home.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "StepFixture.h"
#include "host/Gateway.h"
#include "host/Process.h"
#include "host/Sleep.h"

namespace {

const char* const kOwner = "kolvrasvc";
const uid_t kOwnerId = 4242;

class StorageNodeStep : public steptest::StepTest {
  protected:
    static std::string tmpScripts() { return testenv::output("ls /tmp | grep '^kolvra_'"); }
    // An account file plus line (shadow: that line alone, no hash copied), bind-mounted over.
    bool addAccount(const char* system, const std::string& line, bool keepSystem = true) {
        const std::string copy = scratch_.file(std::string(system).substr(5));
        testenv::writeFile(copy, (keepSystem ? testenv::readFile(system) : "") + line + "\n");
        return chmod(copy.c_str(), keepSystem ? 0644 : 0600) == 0 &&
               mount(copy.c_str(), system, nullptr, MS_BIND, nullptr) == 0;
    }
    // Makes the node in this process's private namespace; false when that is not possible.
    bool makeNode() {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
            return false;
        for (const char* dir : {"/opt", "/home"})
            if (mount("tmpfs", dir, "tmpfs", 0, "mode=0755") != 0) return false;
        const std::string id = std::to_string(kOwnerId);
        if (!addAccount("/etc/passwd", std::string(kOwner) + ":x:" + id + ":" + id + "::/home/" +
                                           kOwner + ":/bin/bash") ||
            !addAccount("/etc/group", std::string(kOwner) + ":x:" + id + ":") ||
            !addAccount("/etc/shadow", std::string(kOwner) + ":*:19000:0:99999:7:::", false))
            return false;
        const std::string tool = "/opt/kolvra/bin/kl_deploy";
        const std::string home = std::string("/home/") + kOwner;
        return testenv::runShell("mkdir -p /opt/kolvra/bin " + home + " && cp " +
                                 path("opt/kolvra/bin/kl_deploy") + " " + tool + " && chown " + id +
                                 ":" + id + " " + tool + " " + home) == 0;
    }
};

// Runs the step twice in a child process on the node: the upload fails, then succeeds.
TEST_F(StorageNodeStep, ArchiveGoesUpOrIntoTheBundleAndNothingStaysBehind) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
    if (!testenv::haveProgram("su") || !testenv::exists("/bin/bash")) GTEST_SKIP() << "no su";
    const std::string report = scratch_.file("report");
    const std::string before = tmpScripts();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ofstream out(report);
        if (!makeNode()) {
            out << "no namespace\n";
            out.close();
            _exit(0);
        }
        // Uploads go to a recording gateway; retries do not wait.
        bool uploadWorks = false;
        host::testing::interceptSleeps([](unsigned long) {});
        host::gateway::setRecorderForTests([&](const std::string& call,
                                               const std::vector<std::string>&)
                                               -> std::optional<host::gateway::Answer> {
            return host::gateway::Answer{call == "uploadFile" && !uploadWorks ? -1 : 0, 0, "", ""};
        });
        MsgInternetOptions upload{};
        upload.protocol = 1;
        upload.partSizeMb = 10;
        snprintf(upload.uploadUrl, sizeof upload.uploadUrl, "%s", "ftp://127.0.0.1:1/");
        steptest::StepRequest request;
        request.internetOptions = &upload;
        for (int attempt = 0; attempt < 2; ++attempt) {
            uploadWorks = attempt == 1;
            out << "run " << attempt << "\n";
            run(&infoNLogsCollector::collectKolvraLogs, request, [&](const std::string& bundle) {
                for (const std::string& member : tartest::members(bundle)) {
                    out << "member " << member << "\n"
                        << testenv::output("tar xOf " + host::shellQuote(bundle) + " " +
                                           host::shellQuote(member) + " | tar tzf -");
                }
            });
            out << "home " << testenv::output("ls /home/kolvrasvc").find("kolvra_") << "\n";
        }
        out.close();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string facts = testenv::readFile(report);
    if (facts == "no namespace\n") GTEST_SKIP() << "cannot make a private mount namespace";
    const size_t second = facts.find("run 1\n");
    ASSERT_NE(second, std::string::npos) << facts;
    const std::string failed = facts.substr(0, second), uploaded = facts.substr(second);
    EXPECT_TRUE(testenv::contains(failed, "member ./kolvra_client01_")) << facts;
    // Both clusters' ansible and cluster logs, each archive with its index.
    for (const char* file : {"./logs.alpha.tar.gz", "./logs.beta.xml",
                             "./sysdump-kolvra.alpha.tar.gz", "./sysdump-kolvra.beta.xml"})
        EXPECT_TRUE(testenv::contains(failed, std::string(file) + "\n")) << file << facts;
    EXPECT_FALSE(testenv::contains(uploaded, "member ")) << facts;
    const std::string clean = "home " + std::to_string(std::string::npos) + "\n";
    EXPECT_TRUE(testenv::contains(failed, clean)) << facts;
    EXPECT_TRUE(testenv::contains(uploaded, clean)) << facts;
    EXPECT_TRUE(testenv::contains(
        log(), "Failed to upload kolvra log to cloud, so add kolvra log into HM"));
    EXPECT_TRUE(testenv::contains(log(), "Succeeded to upload kolvra log to cloud"));
    EXPECT_EQ(tmpScripts(), before);
}

}  // namespace
