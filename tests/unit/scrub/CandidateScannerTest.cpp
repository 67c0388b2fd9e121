// The system library's block scanner must report every occurrence of every literal rule in
// either case, at real block sizes and rule counts: a miss would let a value through.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "scrub/CompiledRules.h"
#include "support/ScrubTestRules.h"

namespace {

TEST(CandidateScanner, ReportsEveryOccurrenceOfEveryLiteral) {
    std::mt19937 rng(777);
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    const char* const alphabets[] = {"0123456789.", "abcdef0123456789:", "abcdefghij.-"};
    for (int trial = 0; trial < 6; ++trial) {
        std::vector<std::string> words;
        ScrubRuleList rules;
        for (size_t i = 0, n = trial % 2 ? 300 : 20; i < n; ++i) {
            const std::string alphabet = alphabets[i % 3];
            std::string word;
            for (size_t k = 0, length = 1 + below(12); k < length; ++k)
                word += alphabet[below(alphabet.size())];
            words.push_back(word);
            scrubtest::addLiteral(rules, word);
        }
        const scrub::CompiledRules compiled(rules);
        ASSERT_TRUE(compiled.scanner());
        scrub::CandidateScanner::Scratch scratch;
        for (int b = 0; b < 3; ++b) {
            std::string block;
            while (block.size() < 65536) {
                const size_t roll = below(10);
                if (roll < 3) {
                    std::string word = words[below(words.size())];
                    if (below(2)) word[0] = static_cast<char>(toupper(word[0]));
                    block += word;
                } else if (roll < 5) {
                    block += roll == 3 ? " " : "\n";
                } else {
                    block += "abcdefghijklmnopqrstuvwxyz0123456789.:-_ABCDEF"[below(46)];
                }
            }
            std::vector<scrub::CandidateScanner::Hit> hits;
            ASSERT_TRUE(compiled.scanner()->scan(block.data(), block.size(), scratch, hits));
            std::set<std::pair<uint32_t, uint32_t>> found;  // (rule, end)
            for (const auto& hit : hits)
                found.insert({compiled.scanner()->ruleOf(hit.pattern), hit.end});
            std::string lower = block;
            for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            for (uint32_t r = 0; r < words.size(); ++r) {
                if (!compiled.scanner()->scansLiteral(r)) continue;
                for (size_t at = lower.find(words[r]); at != std::string::npos;
                     at = lower.find(words[r], at + 1)) {
                    const auto end = static_cast<uint32_t>(at + words[r].size());
                    ASSERT_TRUE(found.count({r, end}))
                        << "[" << words[r] << "] at " << at << ", trial " << trial;
                }
            }
        }
    }
}

}  // namespace
