// Whole diagnostics requests against sandboxes; a scrubbed one is searched for every value.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <algorithm>

#include "common/OptionBits.h"
#include "scrub/BitMap.h"
#include "scrub/LeakVerifier.h"
#include "scrub/PatternFile.h"
#include "support/BundleScan.h"
#include "support/RequestHarness.h"
#include "support/ScrubTestRules.h"
#include "support/TestEnv.h"
#include "tooling/Sandbox.h"

namespace {

using tooling::SandboxFacts;

using bundlescan::count;

// A whole-word occurrence of value (lower case) in text, as the scrubber masks them.
bool containsWord(const std::string& text, const std::string& value) {
    const std::string lower = toLowerStr(text);
    auto word = [](char c) { return scrub::isWordChar(static_cast<unsigned char>(c)); };
    for (size_t p = lower.find(value); p != std::string::npos; p = lower.find(value, p + 1)) {
        const size_t end = p + value.size();
        if ((p == 0 || !word(lower[p - 1])) && (end == lower.size() || !word(lower[end])))
            return true;
    }
    return false;
}

class DiagnosticsRequest : public ::testing::Test {
  protected:
    std::vector<bundlescan::Member> receive(harness::Request request) {
        request.clientId = SandboxFacts::kLocalClientId;
        request.clientName = SandboxFacts::kPhysicalMachine;
        const harness::Reply reply = harness::run(request);
        EXPECT_FALSE(reply.hasFailure());
        std::vector<bundlescan::Member> members;
        if (reply.files.size() != 1 || !reply.files[0].complete()) {
            ADD_FAILURE() << "expected one whole bundle, got " << reply.files.size();
            return members;
        }
        testenv::writeFile(received(), reply.contents.at(reply.files[0].name));
        std::string error;
        EXPECT_TRUE(bundlescan::readMembers(received(), members, error)) << error;
        return members;
    }
    std::string received() const { return sandbox_.scratch.file("received.tar.gz"); }

    harness::Sandbox sandbox_;
};

TEST_F(DiagnosticsRequest, BundleHoldsSystemCoresCommandAndApplicationMaterial) {
    for (const char* name : {"media-agent", "sybase", "failover", "osc"}) sandbox_.enable(name);
    harness::Request request;
    request.options = OPT_PRODUCT_LOGS | OPT_SYSTEM_INFO | OPT_CORE_FILES;
    request.commands = {"uname -a"};
    const auto members = receive(request);

    for (const char* suffix : {"/unameinfo.log", "/proc/cpuinfo", "_0.log", "/install/SYB1.log",
                               "/LibraryServer.db", "/store 2/Group2/ctsrvr.cfg",
                               "jobResults/osc_config.xml", "/certificates/client.crt", "/wyd.log"})
        EXPECT_EQ(count(members, suffix), 1u) << suffix;
    // Eight cores of four programs, at most three of one program: the oldest wyd core is out.
    EXPECT_EQ(count(members, ".analysis.txt"), 7u);
    EXPECT_EQ(count(members, "/core.wyd.1104.analysis.txt"), 0u);
    // The other instance's logs, inside the failover archive.
    EXPECT_GE(count(members, ".7z!wyd.log"), 1u);
    EXPECT_EQ(count(members, SandboxFacts::kPrivateKeyName), 0u);
    // The one error: the sandbox's second Sybase instance has no install folder.
    const std::string errors = testenv::errorLines(sandbox_.log());
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_TRUE(testenv::contains(errors, "ASE-15_7/install] not present")) << errors;
}

TEST_F(DiagnosticsRequest, ScrubbedSystemInformationLeaksNoMaskedValue) {
    struct utsname machine {};
    ASSERT_EQ(uname(&machine), 0);
    const std::vector<std::string> values = {toLowerStr(machine.nodename), "client01",
                                             "client01.example.test"};
    const std::string patterns = sandbox_.scratch.file("patterns.txt");
    std::string text;
    for (const std::string& value : values) text += value + "\n";
    testenv::writeFile(patterns, text);
    harness::Request request;
    request.options = OPT_PRODUCT_LOGS | OPT_SYSTEM_INFO | OPT_CORE_FILES | OPT_SCRUB_LOGS;
    ASSERT_EQ(0, populateScrubPatternsFromFile(patterns, request.scrubRules, request.replacements));
    request.scrubPatternsFilePath = patterns.c_str();
    request.commands = {"hostname"};
    const auto members = receive(request);

    EXPECT_EQ(count(members, "/unameinfo.log"), 1u);
    EXPECT_EQ(count(members, "/proc/sys/kernelSettings.log"), 1u);
    EXPECT_EQ(count(members, ".analysis.txt"), 0u);  // cores cannot be scrubbed
    EXPECT_EQ(count(members, "_0.log"), 0u);         // nor can command output
    // The host name is masked as a whole word wherever it stands.
    for (const auto& member : members)
        EXPECT_FALSE(containsWord(member.content, values[0])) << values[0] << " in " << member.name;

    // The sandbox's own names leak nowhere, by the strict definition of a leak.
    ScrubRuleList sandboxRules;
    ReplacementMap sandboxMap;
    for (size_t i = 1; i < values.size(); ++i) scrubtest::addLiteral(sandboxRules, values[i]);
    scrub::LeakVerifier verifier(sandboxRules, sandboxMap);
    const scrub::LeakReport report = verifier.verify(received());
    EXPECT_GT(report.members, 10u);
    EXPECT_EQ(report.status(), 0) << report.findings.size() << " findings, "
                                  << report.unreadable.size() << " unreadable";
}

}  // namespace
