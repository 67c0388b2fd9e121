#include "scrub/LeakVerifier.h"

#include <algorithm>
#include <boost/regex.hpp>
#include <cstring>

#include "host/ContentWalker.h"
#include "scrub/CompiledRules.h"

namespace scrub {
namespace {

// Stands in for a masked name: not a letter or digit, so no value can run across it.
constexpr char kBlank = '\x01';

char lowered(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerCopy(const std::string& text) {
    std::string out(text);
    for (char& c : out) c = lowered(c);
    return out;
}

// The value as it appears in a URL: every byte but letters, digits and "-._~" as %xx.
std::string urlEscaped(const std::string& value) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : value) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace

struct LeakVerifier::Rules {
    struct Literal {
        size_t number;
        std::string value, escaped;
    };
    struct Pattern {
        size_t number;
        std::unique_ptr<boost::regex> expression;  // null: it does not compile
        std::string error;
    };
    std::vector<Literal> literals;
    std::vector<Pattern> patterns;
    std::vector<std::string> maskedNames;  // lower case, longest first

    // Replaces every masked name in a lower-cased line by one kBlank.
    void blankMaskedNames(std::string& line) const {
        std::string out;
        out.reserve(line.size());
        for (size_t i = 0; i < line.size();) {
            size_t taken = 0;
            if (line.compare(i, 10, "maskeddata") == 0) {
                size_t end = i + 10;
                while (end < line.size() && line[end] >= '0' && line[end] <= '9') ++end;
                if (end > i + 10) taken = end - i;
            }
            for (size_t k = 0; taken == 0 && k < maskedNames.size(); ++k) {
                if (line.compare(i, maskedNames[k].size(), maskedNames[k]) == 0)
                    taken = maskedNames[k].size();
            }
            if (taken > 0) {
                out += kBlank;
                i += taken;
            } else {
                out += line[i++];
            }
        }
        line.swap(out);
    }
};

int LeakReport::status() const {
    if (!findings.empty()) return 1;
    return unreadable.empty() ? 0 : 2;
}

LeakVerifier::LeakVerifier(const ScrubRuleList& rules, const ReplacementMap& replacements)
    : rules_(std::make_unique<Rules>()) {
    for (size_t i = 0; i < rules.size(); ++i) {
        const std::string& text = rules[i].first;
        if (text.empty()) continue;
        if (!rules[i].second.isRegex) {
            const std::string value = lowerCopy(text);
            rules_->literals.push_back({i + 1, value, urlEscaped(value)});
            continue;
        }
        Rules::Pattern pattern{i + 1, nullptr, std::string()};
        try {
            pattern.expression = std::make_unique<boost::regex>(text, boost::regex::perl);
        } catch (const boost::regex_error& e) {
            // Never e.what(): it quotes the expression, which may hold the value it masks.
            pattern.error = describeRegexError(e.code());
        }
        rules_->patterns.push_back(std::move(pattern));
    }
    for (const auto& entry : replacements)
        if (!entry.second.empty()) rules_->maskedNames.push_back(lowerCopy(entry.second));
    rules_->maskedNames.push_back("masked_customdata");
    rules_->maskedNames.push_back("masked_redactedline");
    std::sort(rules_->maskedNames.begin(), rules_->maskedNames.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

LeakVerifier::~LeakVerifier() = default;

bool LeakVerifier::rulesFoundIn(const std::string& line, std::vector<size_t>& found) {
    found.clear();
    std::string text = lowerCopy(line);
    rules_->blankMaskedNames(text);
    for (const Rules::Literal& literal : rules_->literals) {
        if (text.find(literal.value) != std::string::npos ||
            (literal.escaped != literal.value && text.find(literal.escaped) != std::string::npos))
            found.push_back(literal.number);
    }
    bool checked = true;
    for (const Rules::Pattern& pattern : rules_->patterns) {
        if (!pattern.expression) continue;
        try {
            if (boost::regex_search(text, *pattern.expression)) found.push_back(pattern.number);
        } catch (const std::runtime_error&) {
            checked = false;  // the engine gave up: this line is not known to be clean
        }
    }
    std::sort(found.begin(), found.end());
    return checked;
}

namespace {

class LeakSink : public host::ContentSink {
  public:
    LeakSink(LeakVerifier& verifier, LeakReport& report) : verifier_(verifier), report_(report) {}

    void onContent(const std::string& name, host::ByteSource& bytes) override {
        ++report_.members;
        std::string line;
        size_t number = 0;
        char block[64 * 1024];
        for (;;) {
            const long got = bytes.read(block, sizeof block);
            if (got < 0) {
                report_.unreadable.emplace_back(name, bytes.error());
                return;
            }
            if (got == 0) break;
            const char* p = block;
            const char* end = block + got;
            while (p < end) {
                const char* newline =
                    static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
                if (!newline) {
                    line.append(p, end);
                    break;
                }
                line.append(p, newline);
                check(name, ++number, line);
                line.clear();
                p = newline + 1;
            }
        }
        if (!line.empty()) check(name, ++number, line);
    }

    void onUnreadable(const std::string& name, const std::string& reason) override {
        report_.unreadable.emplace_back(name, reason);
    }

  private:
    void check(const std::string& name, size_t number, const std::string& line) {
        if (!verifier_.rulesFoundIn(line, found_)) {
            report_.unreadable.emplace_back(name + ":" + std::to_string(number),
                                            "a rule could not be checked on this line");
        }
        for (size_t rule : found_) report_.findings.push_back({name, number, rule});
    }

    LeakVerifier& verifier_;
    LeakReport& report_;
    std::vector<size_t> found_;
};

}  // namespace

LeakReport LeakVerifier::verify(const std::string& path) {
    LeakReport report;
    for (const Rules::Pattern& pattern : rules_->patterns) {
        if (!pattern.expression) {
            report.unreadable.emplace_back(
                "rule " + std::to_string(pattern.number),
                "the expression does not compile (" + pattern.error + ")");
        }
    }
    LeakSink sink(*this, report);
    host::walkContents(path, sink);
    return report;
}

}  // namespace scrub
