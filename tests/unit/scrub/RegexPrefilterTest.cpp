// The regex prefilter may only skip places where no match begins.
#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <random>

#include "RandomExpressions.h"
#include "scrub/RegexPrefilter.h"

using scrub::RegexPrefilter;

namespace {

TEST(RegexPrefilter, ReadsWhatMatchesMustHold) {
    auto ipv4 = RegexPrefilter::analyze("\\b[0-9]{1,3}(?:\\.[0-9]{1,3}){3}\\b");
    ASSERT_TRUE(ipv4.has_value());
    EXPECT_EQ(15, ipv4->maxLength());
    EXPECT_EQ(std::string::npos, ipv4->skipTo("host db-lon12.corp.example count [42]", 0));
    const std::string line = "12345 67890 03/15 10:22:33 addr [10.1.2.3]";
    const size_t start = ipv4->skipTo(line, 0);
    ASSERT_NE(std::string::npos, start);
    EXPECT_LE(start, line.find("10.1.2.3"));
    EXPECT_GT(start, 20u);

    EXPECT_EQ(-1, RegexPrefilter::analyze("ab+c")->maxLength());
    EXPECT_EQ(std::string::npos, RegexPrefilter::analyze("ab+c")->skipTo("abbbd ac", 0));
}

TEST(RegexPrefilter, DeclinesWhatItCannotReadSafely) {
    for (const char* expression :
         {"", "a*", "(?i)abc", "\\Qa.b\\E", "a\\Kb", "\\Gabc", "\\x41", "[[:alpha:]]+", "(a)\\10",
          "a{2,1}", "(?#note)a", "a|", "(?=a)", "\\p{L}", "(*UTF)a", "[a-\\d]", "\\cA"})
        EXPECT_FALSE(RegexPrefilter::analyze(expression).has_value()) << expression;
    for (const char* expression :
         {"(a)\\1b", "(?<n>ab)c", "(?<=x)ab", "[^a-c]b", "a{3}", "\\.", "x(?!y)z", "a+?b", "a++b"})
        EXPECT_TRUE(RegexPrefilter::analyze(expression).has_value()) << expression;
}

TEST(RegexPrefilter, NeverSkipsAMatchOfRandomExpressions) {
    scrubtest::ExpressionGenerator gen(99);
    std::mt19937 textRng(3);
    const std::string alphabet = "ab1.- 2";
    int analyzed = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        const std::string expression = gen.expression();
        boost::regex re;
        try {
            re.assign(expression, boost::regex::perl);
        } catch (const boost::regex_error&) {
            continue;
        }
        auto filter = RegexPrefilter::analyze(expression);
        if (!filter) continue;
        ++analyzed;
        for (int t = 0; t < 20; ++t) {
            std::string text;
            const size_t length = textRng() % 24;
            for (size_t i = 0; i < length; ++i) text += alphabet[textRng() % alphabet.size()];
            for (size_t from = 0; from <= text.size(); ++from) {
                boost::smatch m;
                bool found = false;
                try {
                    found = boost::regex_search(text.cbegin() + static_cast<long>(from),
                                                text.cend(), m, re);
                } catch (const std::runtime_error&) {
                    continue;
                }
                const size_t skip = filter->skipTo(text, from);
                if (!found) continue;
                const size_t at = static_cast<size_t>(m[0].first - text.cbegin());
                ASSERT_NE(std::string::npos, skip)
                    << "/" << expression << "/ matches [" << text << "] from " << from;
                ASSERT_LE(skip, at) << "/" << expression << "/ on [" << text << "] from " << from;
                ASSERT_GT(m[0].length(), 0) << "analyzed expressions never match empty text";
            }
        }
    }
    EXPECT_GT(analyzed, 500);
}

}  // namespace
