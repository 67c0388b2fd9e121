// The system information and requested-commands steps follow their option bits.
#include "StepFixture.h"

namespace {

using steptest::StepRequest;

class SystemSteps : public steptest::StepTest {};

TEST_F(SystemSteps, FollowTheirBitsAndSkipCommandsWhenScrubbing) {
    StepRequest request;
    request.commands = {"echo from the request"};
    EXPECT_TRUE(run(&infoNLogsCollector::collectSysLog, request).members.empty());
    request.options = 0x4 | 0x100;
    const auto members = run(&infoNLogsCollector::collectSysLog, request).members;
    EXPECT_TRUE(tartest::has(members, "/unameinfo.log"));
    EXPECT_TRUE(tartest::has(members, ".analysis.txt"));  // the sandbox analyser's output

    const auto result = run(&infoNLogsCollector::collectCmdOutput, request);
    EXPECT_EQ(result.members, std::vector<std::string>{
                                  "CommandOutput_" +
                                  std::to_string(static_cast<long>(result.startTime)) + "_0.log"});
    request.options = 0x40000000;
    EXPECT_TRUE(run(&infoNLogsCollector::collectCmdOutput, request).members.empty());
    EXPECT_NE(log().find("Will SKIP collecting command output results."), std::string::npos);
}

}  // namespace
