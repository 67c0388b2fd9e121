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
    // Kept: groups or '|' inside, a quantifier after, classes, escapes, (?x), \Q, counts, empties.
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
    // Bodies of atoms that may or may not consume, between random expressions.
    const char* const atoms[] = {"a",    "b+",  "\\d{1,3}", "[a.]", "\\.",    "1?", "-",
                                 "\\s*", "\\w", "^",        "\\b",  "2{0,2}", ".",  "a*?"};
    auto firstMatch = [](const std::string& text, const boost::regex& e) {
        boost::smatch m;
        if (!boost::regex_search(text, m, e)) return std::string("-");
        return std::to_string(m[0].first - text.begin()) + ":" + m.str(0);
    };
    int compared = 0;
    for (int trial = 0; trial < 6000; ++trial) {
        std::string body;
        for (size_t i = 1 + rng() % 3; i > 0; --i) body += atoms[rng() % std::size(atoms)];
        const std::string expression = gen.expression() + "(?:" + body + "){" +
                                       std::to_string(2 + trial % 4) + "}" + gen.expression();
        try {
            const boost::regex written(expression, boost::regex::perl);
            const boost::regex faster(unrollFixedGroupRepeats(expression), boost::regex::perl);
            compared += faster.str() != expression;
            for (int t = 0; t < 10; ++t) {
                std::string text;
                for (size_t i = rng() % 30; i > 0; --i) text += "ab1.- 2"[rng() % 7];
                ASSERT_EQ(firstMatch(text, written), firstMatch(text, faster)) << expression;
            }
        } catch (const std::runtime_error&) {  // no expression, or the engine gave up
        }
    }
    EXPECT_GT(compared, 600);
}

}  // namespace
