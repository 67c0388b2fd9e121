// Lint of a scrub patterns file.
#include "tooling/PatternLint.h"

#include <boost/regex.hpp>
#include <cctype>
#include <map>
#include <sstream>

#include "scrub/PatternFile.h"

namespace tooling {

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Hint characters the expression's own text never names. A character a match holds may still
// come from a class such as \w or [a-z]: that is why this is a warning.
std::string unnamedHintCharacters(const std::string& expression, const std::string& hint) {
    const std::string named = lower(expression);
    std::string missing;
    for (char c : lower(hint))
        if (named.find(c) == std::string::npos && missing.find(c) == std::string::npos)
            missing += c;
    return missing;
}

class Linter {
  public:
    void record(size_t line, const std::string& text) {
        const size_t separator = text.find(scrub::kPatternSeparator);
        const std::string value = text.substr(0, separator);
        if (value.empty()) return error(line, "empty value: the line is ignored");
        if (text.size() > scrub::kMaxPatternLine || value.size() > scrub::kMaxPatternField)
            return error(line, "too long: the file is refused");
        if (separator == std::string::npos) return literal(line, value, "");
        const std::string second = text.substr(separator + std::strlen(scrub::kPatternSeparator));
        if (second.rfind(scrub::kRegexMarker, 0) == 0)
            return expression(line, value, second.substr(std::strlen(scrub::kRegexMarker)));
        literal(line, value, second);
    }
    std::vector<PatternFinding> findings;

  private:
    void error(size_t line, const std::string& message) {
        findings.push_back({line, true, message});
    }
    void warn(size_t line, const std::string& message) {
        findings.push_back({line, false, message});
    }
    void literal(size_t line, const std::string& value, const std::string& name) {
        const auto [it, added] = values_.emplace(lower(value), line);
        if (!added)
            warn(line, "value \"" + value + "\" is already listed on line " +
                           std::to_string(it->second) + "; the first name stays");
        if (name.empty()) return;
        const auto [owner, fresh] = names_.emplace(name, line);
        if (!fresh && lower(value) != lower(lines_[owner->second]))
            error(line, "name \"" + name + "\" is also given to line " +
                            std::to_string(owner->second) +
                            "'s value: masked text could not "
                            "be told apart");
        lines_[line] = value;
    }
    void expression(size_t line, const std::string& expr, const std::string& hint) {
        try {
            boost::regex compiled(expr, boost::regex::perl);
        } catch (const boost::regex_error& e) {
            return error(line, "expression does not compile (" + std::string(e.what()) +
                                   "): every line it is tried on would be withheld");
        }
        const std::string missing = unnamedHintCharacters(expr, hint);
        if (!missing.empty())
            warn(line, "hint \"" + hint + "\" holds \"" + missing +
                           "\", which the expression does not name: the rule runs only on "
                           "lines holding every hint character");
    }
    std::map<std::string, size_t> values_, names_;
    std::map<size_t, std::string> lines_;
};

}  // namespace

std::vector<PatternFinding> lintPatterns(const std::string& text) {
    Linter linter;
    std::istringstream in(text);
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) linter.record(number, line);
    }
    return linter.findings;
}

}  // namespace tooling
