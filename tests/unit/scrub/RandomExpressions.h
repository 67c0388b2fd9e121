// Random regular expressions over the random test lines' few characters, so matches are frequent.
#pragma once

#include <random>
#include <string>

namespace scrubtest {

class ExpressionGenerator {
  public:
    explicit ExpressionGenerator(uint32_t seed) : rng_(seed) {}
    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

    std::string expression(int depth = 0) {
        std::string text = sequence(depth);
        if (depth < 2 && below(5) == 0) text += "|" + sequence(depth);
        return text;
    }

  private:
    std::string sequence(int depth) {
        std::string text;
        const size_t items = 1 + below(4);
        for (size_t i = 0; i < items; ++i) text += quantified(atom(depth));
        return text;
    }
    std::string atom(int depth) {
        static const char* const atoms[] = {"a",   "b",   "1",    "\\.",  ".",      "\\d",
                                            "\\w", "\\s", "[ab]", "[^a]", "[0-9.]", "\\b",
                                            "^",   "$",   "-",    "\\B",  "[a-]"};
        const size_t roll = below(30);
        if (depth < 2 && roll < 4) return "(" + expression(depth + 1) + ")";
        if (depth < 2 && roll == 4) return "(?:" + expression(depth + 1) + ")";
        if (depth < 2 && roll == 5) return "(?=" + expression(depth + 1) + ")";
        if (depth < 2 && roll == 6) return "(?<=" + std::string(below(2) ? "a" : "1") + ")";
        if (roll == 7) return "\\1";
        return atoms[below(sizeof atoms / sizeof *atoms)];
    }
    std::string quantified(const std::string& atom) {
        static const char* const quantifiers[] = {"",    "",      "",     "*",  "+", "?",
                                                  "{2}", "{1,3}", "{2,}", "+?", "*+"};
        return atom + quantifiers[below(sizeof quantifiers / sizeof *quantifiers)];
    }
    std::mt19937 rng_;
};

}  // namespace scrubtest
