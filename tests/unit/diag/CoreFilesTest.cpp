// Core selection: newest first, at most so many in total and per program, grouped by what
// "file" says about each core.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "DiagFixture.h"
#include "diag/CoreFiles.h"
#include "tooling/SandboxDiagnostics.h"

namespace {

class CoreFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testenv::haveProgram("file")) GTEST_SKIP() << "no file program";
    }
    // A core of program, modified ageMinutes ago.
    void core(const std::string& name, const std::string& program, int ageMinutes) {
        const std::string path = inst_.cores + "/" + name;
        testenv::writeFile(path, tooling::sandbox::elfCoreFile(program, program + " -d I1"));
        const time_t when = time(nullptr) - 60 * ageMinutes;
        struct timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    // The cores the analyser saw in this run's output folder, in name order.
    std::vector<std::string> processed() {
        std::vector<std::string> list;
        EXPECT_TRUE(bundleWysnapcore(list, inst_.cores.c_str()));
        if (list.empty()) return {"<no folder>"};
        EXPECT_EQ(list.size(), 1u);
        return diagtest::Installation::entries(list.back());
    }
    diagtest::Installation inst_;
};

TEST_F(CoreFilesTest, NewestCoresWithinTheTotalAndPerProgramLimits) {
    core("core.wyd.1", "wyd", 1);
    core("core.wyd.2", "wyd", 2);
    core("core.jm.1", "JobManager", 3);
    core("core.wyd.3", "wyd", 4);
    core("core.wyd.4", "wyd", 5);  // the fourth of one program
    core("core.ev.1", "EvMgrS", 6);
    EXPECT_EQ(processed(),
              (std::vector<std::string>{"core.ev.1.txt", "core.jm.1.txt", "core.wyd.1.txt",
                                        "core.wyd.2.txt", "core.wyd.3.txt"}));

    EXPECT_EQ(testenv::errorLines(inst_.log()), "");
    inst_.registry.setString("Session", "dWYSNAPCOREMAXCORES", "3");
    EXPECT_EQ(processed(),
              (std::vector<std::string>{"core.jm.1.txt", "core.wyd.1.txt", "core.wyd.2.txt"}));
    inst_.registry.setString("Session", "dWYSNAPCOREMAXCORESPEREXECUTABLE", "1");
    EXPECT_EQ(processed(),
              (std::vector<std::string>{"core.ev.1.txt", "core.jm.1.txt", "core.wyd.1.txt"}));
    // A limit of 0 processes nothing, but the (empty) folder is still handed over.
    inst_.registry.setString("Session", "dWYSNAPCOREMAXCORES", "0");
    EXPECT_EQ(processed(), std::vector<std::string>{});
}

TEST_F(CoreFilesTest, SwitchedOffOrWithoutCandidatesNothingIsAdded) {
    EXPECT_EQ(processed(), std::vector<std::string>{"<no folder>"});
    EXPECT_TRUE(diagtest::Installation::entries(inst_.temp).empty());  // folder removed

    core("core.wyd.1", "wyd", 1);
    inst_.registry.setString("Session", "dWYSNAPCOREENABLE", "False  ");
    EXPECT_EQ(processed(), std::vector<std::string>{"<no folder>"});
    EXPECT_TRUE(diagtest::Installation::entries(inst_.temp).empty());
}

}  // namespace
