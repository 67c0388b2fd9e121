// Randomized comparison of the line scrubber (API and engine) with the plain reference scrubber.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "RandomExpressions.h"
#include "ReferenceScrubber.h"
#include "scrub/LineScrubber.h"
#include "scrub/ScrubLogLine.h"
#include "support/ScrubTestRules.h"
#include "support/TestEnv.h"

namespace {

class Generator {
  public:
    explicit Generator(uint32_t seed) : rng_(seed), expressions_(seed + 1) {}

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }

    // Short texts over a small alphabet, so that rules overlap, touch and repeat.
    std::string word(size_t maxLength, const std::string& alphabet) {
        std::string text;
        const size_t length = 1 + below(maxLength);
        for (size_t i = 0; i < length; ++i) text += alphabet[below(alphabet.size())];
        return text;
    }

    std::string line() {
        static const std::vector<std::string> pieces = {
            "a",           "b",           "ab",   "ba",       "abc",  "A",    "B",
            "AB",          "1",           "42",   ".",        "-",    " ",    " ",
            "%",           "%2F",         "%4",   "x",        "\xC1", "\xE1", "\xA0",
            "maskeddata0", "MaskedData1", "abab", "10.1.2.3", "data", "node", "Node"};
        std::string text;
        if (chance(20)) text = "12345 67890 03/15 10:22:33 ";
        if (chance(5)) text = pick({"* Hubmaster : ", "* Machine : ", "* IP Addrs : "});
        const size_t count = below(14);
        for (size_t i = 0; i < count; ++i) text += pieces[below(pieces.size())];
        return text;
    }

    ScrubRuleList rules() {
        static const std::vector<std::string> expressions = {
            "[0-9]+",  "a+b",         "b*",   "\\bab\\b", "a.b", "(a|ab)(c|bcd)",   "ba?",
            "[ab]{2}", "\\d+\\.\\d+", "x*|b", "^a",       "b$",  "maskeddata[0-9]", "([",
            "1|4",     "[.]"};
        ScrubRuleList list;
        const size_t count = 1 + below(8);
        for (size_t i = 0; i < count; ++i) {
            if (chance(15)) {
                scrubtest::addRegex(list, expressions_.expression(),
                                    chance(50) ? "" : word(2, "ab1."));
            } else if (chance(20)) {
                scrubtest::addRegex(list, expressions[below(expressions.size())],
                                    chance(50) ? "" : word(2, "ab1."));
            } else if (chance(10)) {
                scrubtest::addLiteral(list, pick({"maskeddata0", "maskeddata1", "data0", "node"}));
            } else {
                scrubtest::addLiteral(list, word(6, "ab1.-%"));
            }
        }
        return list;
    }

    std::unique_ptr<ReplacementMap> map() {
        if (chance(10)) return nullptr;
        auto result = std::make_unique<ReplacementMap>();
        if (chance(40)) (*result)[word(3, "ab")] = pick({"Masked_U", "", "ab", "MaskedData0"});
        return result;
    }

  private:
    std::string pick(std::initializer_list<const char*> options) {
        auto it = options.begin();
        std::advance(it, below(options.size()));
        return *it;
    }
    std::mt19937 rng_;
    scrubtest::ExpressionGenerator expressions_;
};

std::unique_ptr<ReplacementMap> copyOf(const std::unique_ptr<ReplacementMap>& map) {
    return map ? std::make_unique<ReplacementMap>(*map) : nullptr;
}

// Random rule lists hold broken expressions; their log lines are of no interest here.
class LineScrubberDifferential : public testenv::QuietLogTest {};

TEST_F(LineScrubberDifferential, MatchesReferenceLineByLine) {
    Generator gen(20240601);
    for (int trial = 0; trial < 1500; ++trial) {
        ScrubRuleList rules = gen.rules();
        auto refMap = gen.map();
        auto apiMap = copyOf(refMap);
        auto engineMap = copyOf(refMap);
        auto engine = scrub::makeLineScrubber(&rules, engineMap.get());
        ASSERT_TRUE(engine);
        for (int i = 0; i < 12; ++i) {
            const std::string original = gen.line();
            std::string expected = original, viaApi = original, viaEngine = original;
            const bool clean = reference::scrubLine(expected, &rules, refMap.get());
            const bool apiClean = scrubLogLine(viaApi, &rules, apiMap.get()) == 0;
            const bool engineClean = engine->scrub(viaEngine);
            // After a give-up on a pathological expression the sides may differ; a withheld
            // line is withheld whole.
            ASSERT_TRUE(apiClean || viaApi.rfind("Masked_RedactedLine", 0) == 0) << viaApi;
            if (!clean || !apiClean || !engineClean) break;
            ASSERT_EQ(expected, viaApi) << "trial " << trial << " line [" << original << "]";
            ASSERT_EQ(expected, viaEngine) << "trial " << trial << " line [" << original << "]";
            if (refMap) {
                ASSERT_EQ(*refMap, *apiMap) << "trial " << trial;
                ASSERT_EQ(*refMap, *engineMap) << "trial " << trial;
            }
        }
    }
}

// Long rules and long lines exercise the hashed part of the prefilter.
TEST_F(LineScrubberDifferential, LongRulesAndLines) {
    Generator gen(77);
    for (int trial = 0; trial < 300; ++trial) {
        ScrubRuleList rules;
        for (int i = 0; i < 40; ++i) scrubtest::addLiteral(rules, gen.word(9, "abc.-1"));
        scrubtest::addRegex(rules, "[0-9]+\\.[0-9]+");
        ReplacementMap refMap, engineMap;
        scrub::LineScrubber engine(std::make_shared<const scrub::CompiledRules>(rules),
                                   scrub::NameSource(&engineMap));
        for (int i = 0; i < 5; ++i) {
            std::string original;
            for (int k = 0; k < 30; ++k) original += gen.word(10, "abcAB.-1 ") + " ";
            std::string expected = original, actual = original;
            reference::scrubLine(expected, &rules, &refMap);
            engine.scrub(actual);
            ASSERT_EQ(expected, actual) << "trial " << trial;
            ASSERT_EQ(refMap, engineMap);
        }
    }
}

// The block path (one scan of many lines) against the per-line path without the scanner; some
// rules (long, unreadable or refused by the scanner) fall back to the per-line prefilters.
TEST_F(LineScrubberDifferential, BlockScannerMatchesLineByLine) {
    Generator gen(31337);
    auto refuseAnA = [](const std::string& pattern) {
        return pattern.find("\\x61") != std::string::npos;
    };
    for (int trial = 0; trial < 400; ++trial) {
        ScrubRuleList rules = gen.rules();
        // A long value masked first shortens the line under the rules after it.
        if (gen.chance(20)) scrubtest::addLiteral(rules, std::string(300, 'a') + "b");
        if (gen.chance(50)) std::rotate(rules.begin(), rules.end() - 1, rules.end());
        const auto start = gen.map();
        auto plainMap = copyOf(start), blockMap = copyOf(start);
        scrub::ScannerOptions refusing;
        if (gen.chance(30)) refusing.refuse = refuseAnA;
        scrub::LineScrubber plain(
            std::make_shared<const scrub::CompiledRules>(rules, scrub::ScannerOptions{false}),
            scrub::NameSource(plainMap.get()));
        scrub::LineScrubber block(std::make_shared<const scrub::CompiledRules>(rules, refusing),
                                  scrub::NameSource(blockMap.get()));
        for (int round = 0; round < 3; ++round) {
            std::string text, expected, actual;
            std::vector<scrub::LineSpan> spans;
            for (int i = 0; i < 30; ++i) {
                std::string line = gen.line();
                if (gen.chance(5)) line += std::string(300, 'a') + "b " + line;
                spans.push_back({text.size(), line.size()});
                text += line + "\n";
                plain.scrub(line);
                expected += line + "\n";
            }
            block.scrubLines(text, spans, actual);
            // A line the engine gave up on may be given up at another point: not compared.
            if (plain.redactedLines() + block.redactedLines() > 0) break;
            ASSERT_EQ(expected, actual) << "trial " << trial;
            ASSERT_TRUE(!start || *plainMap == *blockMap) << "trial " << trial;
        }
    }
}

// Guards the comparison above against comparing the per-line path with itself.
TEST_F(LineScrubberDifferential, ScannerTakesTheLiteralRules) {
    ScrubRuleList rules;
    scrubtest::addLiteral(rules, "host1");
    scrubtest::addRegex(rules, "\\b[0-9]{1,3}(?:\\.[0-9]{1,3}){3}\\b", ".");
    const scrub::CompiledRules compiled(rules);
    ASSERT_NE(nullptr, compiled.scanner());
    EXPECT_TRUE(compiled.scanner()->scansLiteral(0));
}

}  // namespace
