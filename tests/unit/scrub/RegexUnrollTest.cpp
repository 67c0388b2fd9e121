// Written-out group repeats must match exactly what the expression as written matches.
#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <random>

#include "RandomExpressions.h"
#include "scrub/RegexUnroll.h"

using scrub::unrollFixedGroupRepeats;

namespace {

TEST(RegexUnroll, WritesOutOnlyRepeatsItCanCopySafely) {
    EXPECT_EQ("\\b\\d(?:\\.\\d)(?:\\.\\d)(?:\\.\\d)\\b",
              unrollFixedGroupRepeats("\\b\\d(?:\\.\\d){3}\\b"));
    EXPECT_EQ("(?:a|b){2}x(?:[]a)])(?:[]a)])", unrollFixedGroupRepeats("(?:a|b){2}x(?:[]a)]){2}"));
    EXPECT_EQ("(?:(?:a)(?:a)b){3}", unrollFixedGroupRepeats("(?:(?:a){2}b){3}"));
    EXPECT_EQ("(?:[[:alpha:])])(?:[[:alpha:])])", unrollFixedGroupRepeats("(?:[[:alpha:])]){2}"));
    // Groups or alternatives inside, other quantifiers after it, a class, an escape, extended
    // mode, quoting, counts out of range, bodies that may match empty text.
    for (const char* kept :
         {"(?:(a)){2}",     "(?:(?=a)a){2}", "(?:a){2}?",  "(?:a){2}+",    "(?:a){2}*",
          "(?:a){2}{3}",    "[(?:a){2}]",    "\\(?:a){2}", "(?x)(?:a){2}", "(?i-x:b)(?:a){2}",
          "\\Q(?:a){2}\\E", "(?:a){9}",      "(?:a){1}",   "(?:a){2,3}",   "(?:){2}",
          "(?:a{2}",        "(?:[a){2}",     "(?:^a?){4}", "(?:a*\\b){2}", "(?:a{00}){2}",
          "(?:\\x41){2}"})
        EXPECT_EQ(kept, unrollFixedGroupRepeats(kept));
}

TEST(RegexUnroll, RandomRepeatsMatchAsWritten) {
    scrubtest::ExpressionGenerator gen(7);
    std::mt19937 rng(11);
    const std::string alphabet = "ab1.- 2";
    int compared = 0;
    // Bodies of atoms that may or may not consume, between random expressions.
    const char* const atoms[] = {"a",    "b+",  "\\d{1,3}", "[a.]", "\\.",    "1?", "-",
                                 "\\s*", "\\w", "^",        "\\b",  "2{0,2}", ".",  "a*?"};
    for (int trial = 0; trial < 6000; ++trial) {
        std::string body;
        for (size_t i = 1 + rng() % 3; i > 0; --i) body += atoms[rng() % std::size(atoms)];
        const std::string expression = gen.expression() + "(?:" + body + "){" +
                                       std::to_string(2 + trial % 4) + "}" + gen.expression();
        const std::string unrolled = unrollFixedGroupRepeats(expression);
        boost::regex written, faster;
        try {
            written.assign(expression, boost::regex::perl);
            faster.assign(unrolled, boost::regex::perl);
        } catch (const boost::regex_error&) {
            continue;
        }
        compared += unrolled != expression;
        for (int t = 0; t < 10; ++t) {
            std::string text;
            for (size_t i = rng() % 30; i > 0; --i) text += alphabet[rng() % alphabet.size()];
            boost::smatch a, b;
            bool found = false;
            try {
                found = boost::regex_search(text, a, written);
                ASSERT_EQ(found, boost::regex_search(text, b, faster)) << expression;
            } catch (const std::runtime_error&) {
                continue;
            }
            if (!found) continue;
            ASSERT_EQ(a[0].first - text.cbegin(), b[0].first - text.cbegin()) << expression;
            ASSERT_EQ(a.str(0), b.str(0)) << expression << " on " << text;
        }
    }
    EXPECT_GT(compared, 600);
}

}  // namespace
