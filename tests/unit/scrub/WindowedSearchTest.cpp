// Windowed regex search on lines several windows long must match the reference scrubber.
#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <memory>
#include <random>

#include "RandomExpressions.h"
#include "ReferenceScrubber.h"
#include "scrub/LineScrubber.h"
#include "scrub/RegexPrefilter.h"
#include "support/ScrubTestRules.h"
#include "support/TestEnv.h"

namespace {

class WindowedSearch : public testenv::QuietLogTest {
  protected:
    // Library against reference until the reference withholds a line (the library never first).
    static void expectSameAsReference(const ScrubRuleList& rules,
                                      const std::vector<std::string>& lines,
                                      const std::string& what) {
        ReplacementMap refMap, engineMap;
        scrub::LineScrubber engine(std::make_shared<const scrub::CompiledRules>(rules),
                                   scrub::NameSource(&engineMap));
        for (const std::string& original : lines) {
            std::string expected = original, actual = original;
            const bool clean = reference::scrubLine(expected, &rules, &refMap);
            if (!clean) return;
            ASSERT_TRUE(engine.scrub(actual)) << what << " withheld [" << original << "]";
            ASSERT_EQ(expected, actual) << what << " line [" << original << "]";
        }
        ASSERT_EQ(refMap, engineMap) << what;
    }
};

// Addresses at every distance from a window's edge, among near-miss times and numbers.
TEST_F(WindowedSearch, AddressesAtEveryOffsetOfLongLines) {
    ScrubRuleList rules;
    scrubtest::addRegex(rules, "\\b[0-9]{1,3}(?:\\.[0-9]{1,3}){3}\\b", ".");
    scrubtest::addRegex(rules, "\\b[0-9a-f]{2}(?::[0-9a-f]{2}){5}\\b", ":");
    std::vector<std::string> lines;
    for (size_t pad = 0; pad < 200; ++pad) {
        std::string line = scrubtest::entryLine("at 04:00:37.125 v1.2.3 ");
        line += std::string(pad, pad % 3 ? 'a' : '7');
        line += pad % 2 ? " 10.1.2." + std::to_string(pad) : " 0a:1b:2c:3d:4e:5f";
        line += " 12:30:45:99 " + std::string(pad % 90, '5') + " 1.2.3.4.5 ff:ee:dd";
        lines.push_back(line);
    }
    expectSameAsReference(rules, lines, "addresses");
    const auto mac = scrub::RegexPrefilter::analyze(rules[1].first);
    ASSERT_TRUE(mac && mac->windowed());
    // The time's pairs are no place for a MAC address: only its run of five colons is.
    EXPECT_EQ(std::string::npos, mac->skipTo("04:00:37 12:30:45 ff:ee:dd 1a:2b:3c", 0));
}

// The prefilter starts where the earliest match holding a factor's first occurrence could
// begin: after a bounded repeat, within a repeat's last copy, between copies of a group.
TEST_F(WindowedSearch, PrefilterStartsAtTheEarliestPossibleMatch) {
    const std::pair<const char*, const char*> cases[] = {
        {"a{1,3}b[0-9]{0,9}", "b-aaab"},
        {"(?:ab){1,3}yz[0-9]{0,9}", "ab yz by-abababyz"},
        {"(?:a[0-9]?b){2}", "xxa1bab"}};
    for (const auto& [expression, text] : cases) {
        const auto filter = scrub::RegexPrefilter::analyze(expression);
        ASSERT_TRUE(filter) << expression;
        boost::smatch match;
        const std::string line = text;
        ASSERT_TRUE(boost::regex_search(line, match, boost::regex(expression)));
        EXPECT_EQ(static_cast<size_t>(match[0].first - line.begin()), filter->skipTo(line, 0))
            << expression;
    }
}

TEST_F(WindowedSearch, RandomExpressionsOnLongLines) {
    scrubtest::ExpressionGenerator gen(4242);
    std::mt19937 rng(5);
    const std::string alphabet = "ab1.- 2:";
    int windowed = 0;
    for (int trial = 0; trial < 3000 && windowed < 300; ++trial) {
        const std::string expression = gen.expression();
        try {
            boost::regex(expression, boost::regex::perl);
        } catch (const boost::regex_error&) {
            continue;
        }
        const auto filter = scrub::RegexPrefilter::analyze(expression);
        if (!filter || !filter->windowed()) continue;
        ++windowed;
        ScrubRuleList rules;
        scrubtest::addRegex(rules, expression);
        std::vector<std::string> lines;
        for (int i = 0; i < 4; ++i) {
            std::string line;
            const size_t length = 80 + rng() % 400;
            for (size_t k = 0; k < length; ++k) line += alphabet[rng() % alphabet.size()];
            lines.push_back(line);
        }
        expectSameAsReference(rules, lines, "/" + expression + "/");
        if (HasFatalFailure()) return;
    }
    EXPECT_GE(windowed, 300);
}

}  // namespace
