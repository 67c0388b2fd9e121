// Requested commands: script, outputs in the bundle, time limit, simultaneous requests.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "DiagFixture.h"
#include "diag/CommandOutput.h"
#include "support/TarListing.h"

namespace {

TEST(CommandScript, ExpandsQuotesAndBundles) {
    EXPECT_EQ(diag::expandBaseDir("%OrvionBaseDir%tool -x %OrvionBaseDir%", "/opt/o"),
              "/opt/o/Base/tool -x /opt/o/Base/");
    diag::CommandScriptInput in;
    in.home = "/opt/o";
    in.outputDir = "/tmp/out 1";
    in.commands = {"uname -a", "echo 'a b'"};
    in.names = {"CommandOutput_7_0.log", "CommandOutput_7_1.log"};
    const std::string head =
        "#!/opt/o/ksh\n#\n\ncd /opt/o\n\n"
        "uname -a >> '/tmp/out 1/CommandOutput_7_0.log'\n"
        "echo 'a b' >> '/tmp/out 1/CommandOutput_7_1.log'\n";
    EXPECT_EQ(diag::commandScript(in), head);
    in.bundle = "/st/b.tar";
    const std::string members =
        " CommandOutput_7_0.log CommandOutput_7_1.log\n"
        "rm -f CommandOutput_7_0.log CommandOutput_7_1.log\n\n";
    const std::string into = "cd '/tmp/out 1'\n\n";
    EXPECT_EQ(diag::commandScript(in), head + into + "tar cvf /st/b.tar " + members);
}

class CommandOutputTest : public ::testing::Test {
  protected:
    std::string bundle(const std::string& name = "b.tar") const {
        return inst_.registry.dir().file(name);
    }
    diagtest::Installation inst_;
};

TEST_F(CommandOutputTest, EachCommandsOutputGoesIntoTheBundleAndNothingStays) {
    testenv::writeFile(inst_.home + "/Base/hello", "#!/bin/sh\necho \"hello $1\"\n");
    ::chmod((inst_.home + "/Base/hello").c_str(), 0755);
    ASSERT_EQ(getCommandOutput({"%OrvionBaseDir%hello world", "sh -c 'echo out; echo err >&2'"},
                               nullptr, nullptr, 42, false, bundle().c_str()),
              0);
    EXPECT_EQ(tartest::members(bundle()),
              (std::vector<std::string>{"CommandOutput_42_0.log", "CommandOutput_42_1.log"}));
    EXPECT_EQ(tartest::text(bundle(), "CommandOutput_42_0.log"),
              inst_.home + "/Base/hello world\n\nhello world\n");
    EXPECT_EQ(tartest::text(bundle(), "CommandOutput_42_1.log"),
              "sh -c 'echo out; echo err >&2'\n\nout\n");
    EXPECT_TRUE(testenv::folderEntries(inst_.temp).empty());
    EXPECT_EQ(testenv::errorLines(inst_.log()), "");

    // An existing bundle is appended to.
    ASSERT_EQ(getCommandOutput({"true"}, nullptr, nullptr, 43, false, bundle().c_str()), 0);
    EXPECT_EQ(tartest::members(bundle()).size(), 3u);
}

TEST_F(CommandOutputTest, WithoutABundleTheOutputsStayForTheCaller) {
    std::vector<std::string> outputs;
    ASSERT_EQ(getCommandOutput({"echo one"}, inst_.temp.c_str(), &outputs, 5, false, nullptr), 0);
    ASSERT_EQ(outputs, std::vector<std::string>{inst_.temp + "/CommandOutput_5_0.log"});
    EXPECT_EQ(testenv::readFile(outputs[0]), "echo one\n\none\n");
    EXPECT_EQ(testenv::folderEntries(inst_.temp).size(), 1u);
    EXPECT_EQ(getCommandOutput({"true"}, nullptr, nullptr, 5, false, nullptr), -1);
}

TEST_F(CommandOutputTest, ACommandPastTheLimitIsKilledWithItsChildren) {
    const std::string pidFile = inst_.registry.dir().file("pid");
    const std::string command = "sleep 120 & echo $! > " + pidFile + "; wait";
    EXPECT_EQ(diag::runRequestedCommands({command}, nullptr, nullptr, 1, bundle().c_str(), 1), -1);
    EXPECT_TRUE(testenv::contains(inst_.log(), "WaitForProcessToEnd returned"));
    // The background child went with the script: gone, or a zombie awaiting its new parent.
    std::string pid = testenv::readFile(pidFile);
    pid.erase(pid.find_last_not_of('\n') + 1);
    std::string state;
    for (int i = 0; i < 200; ++i) {  // the kill takes effect within moments
        std::ifstream in("/proc/" + pid + "/stat");
        std::string id, name;
        state.clear();
        if (!(in >> id >> name >> state) || state == "Z") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(state.empty() || state == "Z") << state;
    EXPECT_TRUE(testenv::folderEntries(inst_.temp).empty());
}

TEST_F(CommandOutputTest, SimultaneousRequestsKeepTheirOwnOutputs) {
    const std::string started = inst_.registry.dir().file("started");
    const std::string go = inst_.registry.dir().file("go");
    int first = -1;
    std::thread slow([&] {
        first = getCommandOutput(
            {"touch " + started + "; while [ ! -e " + go + " ]; do sleep 0.01; done; echo first"},
            nullptr, nullptr, 9, false, bundle("first.tar").c_str());
    });
    for (int i = 0; i < 3000 && !testenv::exists(started); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Same output number, same output directory, while the first request's script runs.
    EXPECT_EQ(
        getCommandOutput({"echo second"}, nullptr, nullptr, 9, false, bundle("second.tar").c_str()),
        0);
    testenv::writeFile(go, "");
    slow.join();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(tartest::text(bundle("second.tar"), "CommandOutput_9_0.log"),
              "echo second\n\nsecond\n");
    EXPECT_TRUE(testenv::contains(tartest::text(bundle("first.tar"), "CommandOutput_9_0.log"),
                                  "\n\nfirst\n"));
}

}  // namespace
