// No rule value survives scrubbing: for every literal rule, no whole-word occurrence is left
// in the scrubbed copies of generated product logs and of third-party sample logs, and with
// an IPv4 rule no dotted address is left.
#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <filesystem>
#include <random>
#include <set>

#include "host/Log.h"
#include "scrub/BitMap.h"
#include "scrub/TreeScrubber.h"
#include "support/ScrubTestRules.h"
#include "support/TestEnv.h"
#include "tooling/LogGenerator.h"

namespace {

const char* const kIpv4 = "\\b[0-9]{1,3}(\\.[0-9]{1,3}){3}\\b";

std::vector<std::string> filesBelow(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    }
    return files;
}

bool isWord(char c) {
    return scrub::isWordChar(static_cast<unsigned char>(c));
}

// Words of at least four characters that begin with a letter, from every file below dir.
std::vector<std::string> sampleWords(const std::string& dir, size_t count, uint32_t seed) {
    std::set<std::string> words;
    for (const std::string& file : filesBelow(dir)) {
        const std::string text = toLowerStr(testenv::readFile(file));
        size_t i = 0;
        while (i < text.size()) {
            if (!isWord(text[i])) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < text.size() && isWord(text[j])) ++j;
            if (j - i >= 4 && text[i] >= 'a' && text[i] <= 'z') words.insert(text.substr(i, j - i));
            i = j;
        }
    }
    std::vector<std::string> all(words.begin(), words.end());
    std::shuffle(all.begin(), all.end(), std::mt19937(seed));
    if (all.size() > count) all.resize(count);
    return all;
}

void expectNothingSurvives(const std::string& dir, const std::vector<std::string>& values) {
    const boost::regex ipv4(kIpv4);
    const std::vector<std::string> files = filesBelow(dir);
    ASSERT_FALSE(files.empty());
    for (const std::string& file : files) {
        const std::string text = testenv::readFile(file);
        ASSERT_FALSE(boost::regex_search(text, ipv4)) << file;
        const std::string lower = toLowerStr(text);
        for (const std::string& value : values) {
            for (size_t p = lower.find(value); p != std::string::npos;
                 p = lower.find(value, p + 1)) {
                const size_t end = p + value.size();
                const bool startsWord = p == 0 || !isWord(lower[p - 1]);
                const bool endsWord = end == lower.size() || !isWord(lower[end]);
                ASSERT_FALSE(startsWord && endsWord)
                    << "[" << value << "] survives in " << file << " at " << p << ": "
                    << text.substr(p < 40 ? 0 : p - 40, 100);
            }
        }
    }
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
        const std::string dest = dir_.file("scrubbed");
        ASSERT_TRUE(scrubLogFiles(source.c_str(), dest.c_str(), &rules, &map));
        expectNothingSurvives(dest, values);
    }

    testenv::RegistryFixture registry_;
    testenv::TempDir dir_;
};

TEST_F(Leak, GeneratedProductLogs) {
    const std::string logs = dir_.file("logs");
    tooling::LogGenOptions options;
    options.machine = "buildhost07";
    options.targetBytes = 2 << 20;
    std::string error;
    ASSERT_TRUE(tooling::generateLogDirectory(logs, options, error)) << error;
    std::vector<std::string> values = sampleWords(logs, 120, 11);
    values.push_back("buildhost07");
    values.push_back("backupadmin");
    scrubAndCheck(logs, values);
}

TEST_F(Leak, SampleLogsOfOtherSystems) {
    const std::string data = SENDLOGS_SHARED_DATA_DIR "/loghub";
    if (!testenv::exists(data)) GTEST_SKIP() << "no sample logs";
    const std::string logs = dir_.mkdir("logs");
    ASSERT_EQ(0, testenv::runShell("cp '" + data + "'/*.log '" + logs + "'/"));
    std::vector<std::string> values = sampleWords(logs, 200, 5);
    for (const char* known : {"labsz", "combo", "webmaster", "root", "hinet"}) {
        values.push_back(known);
    }
    scrubAndCheck(logs, values);
}

}  // namespace
