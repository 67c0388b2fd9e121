// Scrubbed copies of product and third-party logs pass the leak check for sampled words.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "host/Log.h"
#include "scrub/BitMap.h"
#include "scrub/LeakVerifier.h"
#include "scrub/TreeScrubber.h"
#include "support/ScrubTestRules.h"
#include "support/TestEnv.h"
#include "tooling/LogGenerator.h"

namespace {

const char* const kIpv4 = "\\b[0-9]{1,3}(\\.[0-9]{1,3}){3}\\b";

bool isAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Words (4+ chars, leading letter) never inside a longer word: the check counts a value
// anywhere, the scrubber masks whole words.
std::vector<std::string> sampleWords(const std::string& dir, size_t count, uint32_t seed) {
    std::string text;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) text += toLowerStr(testenv::readFile(entry.path())) + "\n";
    std::map<std::string, size_t> whole;
    for (size_t i = 0; i < text.size();) {
        size_t j = i;
        while (j < text.size() && isAlnum(text[j])) ++j;
        if (j - i >= 4 && text[i] >= 'a') ++whole[text.substr(i, j - i)];
        i = j == i ? i + 1 : j;
    }
    std::vector<std::string> words;
    for (const auto& [word, n] : whole) {
        size_t anywhere = 0;
        for (size_t p = text.find(word); p != std::string::npos; p = text.find(word, p + 1))
            ++anywhere;
        if (anywhere == n) words.push_back(word);
    }
    std::shuffle(words.begin(), words.end(), std::mt19937(seed));
    if (words.size() > count) words.resize(count);
    return words;
}

class Leak : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testenv::haveProgram("bzip2")) GTEST_SKIP() << "bzip2 not installed";
        host::setLogFilePath(dir_.file("library.log"));
    }
    void TearDown() override { host::resetLogSettings(); }

    void scrubAndCheck(const std::string& source, const std::vector<std::string>& values) {
        ScrubRuleList rules;
        for (const std::string& value : values) scrubtest::addLiteral(rules, value);
        scrubtest::addRegex(rules, kIpv4, "...");
        ReplacementMap map;
        scrub::LeakVerifier verifier(rules, map);
        ASSERT_EQ(1, verifier.verify(source).status()) << "the sources must hold the values";
        const std::string dest = dir_.file("scrubbed");
        ASSERT_TRUE(scrubLogFiles(source.c_str(), dest.c_str(), &rules, &map));
        const scrub::LeakReport report = verifier.verify(dest);
        EXPECT_EQ(0, report.status());
        for (const auto& f : report.findings)
            ADD_FAILURE() << f.member << ":" << f.line << " holds rule " << f.rule << " ("
                          << rules[f.rule - 1].first << ")";
    }

    testenv::RegistryFixture registry_;
    testenv::TempDir dir_;
};

TEST_F(Leak, ProductAndThirdPartyLogs) {
    const std::string logs = dir_.file("logs");
    tooling::LogGenOptions options;
    options.machine = "buildhost07";
    options.targetBytes = 2 << 20;
    std::string error;
    ASSERT_TRUE(tooling::generateLogDirectory(logs, options, error)) << error;
    std::vector<std::string> values = {"buildhost07", "backupadmin"};
    const std::string data = SENDLOGS_SHARED_DATA_DIR "/loghub";
    if (testenv::exists(data)) {
        ASSERT_EQ(0, testenv::runShell("cp '" + data + "'/*.log '" + logs + "'/"));
        for (const char* known : {"labsz", "combo", "webmaster", "hinet"}) values.push_back(known);
    }
    for (const std::string& word : sampleWords(logs, 300, 11)) values.push_back(word);
    scrubAndCheck(logs, values);
}

}  // namespace
