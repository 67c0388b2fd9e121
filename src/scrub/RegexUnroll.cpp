// Writing out fixed repeats of non-capturing groups.
#include "scrub/RegexUnroll.h"

#include <cctype>
#include <cstdlib>

namespace scrub {
namespace {

constexpr size_t kNone = std::string::npos;
constexpr unsigned kMaxCopies = 8;
constexpr size_t kMaxWrittenOut = 512;  // bytes of copies per group

// Index just past the character class that opens at s[i] ('['), or kNone when it does not end.
size_t skipClass(const std::string& s, size_t i) {
    ++i;
    if (i < s.size() && s[i] == '^') ++i;
    if (i < s.size() && s[i] == ']') ++i;  // a leading ']' is a member
    while (i < s.size()) {
        if (s[i] == '\\') {
            i += 2;
        } else if (s[i] == '[' && i + 1 < s.size() &&
                   (s[i + 1] == ':' || s[i + 1] == '.' || s[i + 1] == '=')) {
            // "[:alpha:]" and the like: its ']' does not end the class.
            const size_t close = s.find(std::string(1, s[i + 1]) + "]", i + 2);
            if (close == kNone) return kNone;
            i = close + 2;
        } else if (s[i] == ']') {
            return i + 1;
        } else {
            ++i;
        }
    }
    return kNone;
}

// Index of the ')' that closes the group whose body starts at s[i]; kNone when it does not
// close.
size_t groupEnd(const std::string& s, size_t i) {
    int depth = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\\') {
            i += 2;
        } else if (c == '[') {
            i = skipClass(s, i);
            if (i == kNone) return kNone;
        } else if (c == '(') {
            ++depth;
            ++i;
        } else if (c == ')') {
            if (depth == 0) return i;
            --depth;
            ++i;
        } else {
            ++i;
        }
    }
    return kNone;
}

// The count of an exact repeat "{n}" at s[i], with the index past it; 0 when there is none,
// or when another quantifier follows it (lazy, possessive, or a repeat of the repeat).
unsigned fixedCount(const std::string& s, size_t i, size_t& after) {
    if (i >= s.size() || s[i] != '{') return 0;
    unsigned n = 0;
    size_t j = i + 1;
    while (j < s.size() && isdigit(static_cast<unsigned char>(s[j])) && n < 100) {
        n = n * 10 + static_cast<unsigned>(s[j] - '0');
        ++j;
    }
    if (j == i + 1 || j >= s.size() || s[j] != '}') return 0;
    after = j + 1;
    if (after < s.size() &&
        (s[after] == '?' || s[after] == '+' || s[after] == '*' || s[after] == '{')) {
        return 0;
    }
    return n;
}

// Whether body is a sequence of atoms, without groups or alternatives, of which every match
// holds at least one character. A counted group whose body can match empty text is repeated
// differently from its copies (an empty pass ends the repeat), and copies of a group inside
// would renumber the groups. False for whatever the reading below does not know, such as
// escapes with arguments.
bool alwaysConsumes(const std::string& body) {
    static const std::string kConsumingEscapes = "dDwWsShHvVntrfea";
    bool consumes = false;
    size_t i = 0;
    while (i < body.size()) {
        const char c = body[i];
        bool atom = true;  // the atom matches one character
        if (c == '\\') {
            const char e = body[i + 1];  // body[size()] is '\0'
            if (e == '\0' ||
                (isalnum(static_cast<unsigned char>(e)) && kConsumingEscapes.find(e) == kNone))
                return false;  // an assertion, a reference, or an escape with an argument
            i += 2;
        } else if (c == '[') {
            i = skipClass(body, i);
            if (i == kNone) return false;
        } else if (c == '^' || c == '$') {
            atom = false;
            ++i;
        } else if (c == '|' || c == '(' || c == ')' || c == '{' || c == '*' || c == '+' ||
                   c == '?') {
            return false;
        } else {
            ++i;
        }
        // Its quantifier: whether the atom is required at least once. Here i <= size().
        bool required = true;
        if (body[i] == '*' || body[i] == '?') {
            required = false;
            ++i;
        } else if (body[i] == '+') {
            ++i;
        } else if (body[i] == '{') {
            const size_t close = body.find('}', i);
            if (close == kNone || !isdigit(static_cast<unsigned char>(body[i + 1]))) return false;
            required = strtoul(body.c_str() + i + 1, nullptr, 10) > 0;
            i = close + 1;
        }
        if (body[i] == '?' || body[i] == '+') ++i;  // lazy, possessive
        consumes = consumes || (atom && required);
    }
    return consumes;
}

// Whether the expression is read in a way the rewrite does not follow: extended mode, where
// blanks and '#' comments are not text, or quoted text.
bool unusualSyntax(const std::string& s) {
    if (s.find("\\Q") != kNone) return true;
    for (size_t at = s.find("(?"); at != kNone; at = s.find("(?", at + 2)) {
        for (size_t j = at + 2; j < s.size() && (isalpha(static_cast<unsigned char>(s[j])) ||
                                                 s[j] == '-' || s[j] == '^');
             ++j) {
            if (s[j] == 'x') return true;
        }
    }
    return false;
}

}  // namespace

std::string unrollFixedGroupRepeats(const std::string& expression) {
    const std::string& s = expression;
    if (s.find("(?:") == kNone || unusualSyntax(s)) return s;
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\\') {
            out.append(s, i, 2);
            i += 2;
        } else if (c == '[') {
            const size_t end = skipClass(s, i);
            if (end == kNone) return s;
            out.append(s, i, end - i);
            i = end;
        } else if (s.compare(i, 3, "(?:") == 0) {
            const size_t close = groupEnd(s, i + 3);
            if (close == kNone) return s;
            size_t after = 0;
            const unsigned n = fixedCount(s, close + 1, after);
            const size_t group = close + 1 - i;
            if (n >= 2 && n <= kMaxCopies && group * n <= kMaxWrittenOut &&
                alwaysConsumes(s.substr(i + 3, close - i - 3))) {
                for (unsigned k = 0; k < n; ++k) out.append(s, i, group);
                i = after;
            } else {
                // Left as it is; groups inside it may still be written out.
                out.append(s, i, 3);
                i += 3;
            }
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

}  // namespace scrub
