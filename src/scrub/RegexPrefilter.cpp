// A reader of the regular expressions of scrub rules (Perl syntax) that works out what their
// matches must contain. It only has to be safe: every set it computes may hold more bytes
// than the expression allows (which weakens the filter, never breaks it), and anything it is
// not sure about ends the analysis without a prefilter.
#include "scrub/RegexPrefilter.h"

#include <algorithm>
#include <cctype>

namespace scrub {
namespace {

constexpr size_t kMaxFactors = 8;
// Sets in one factor: a run of consecutive sets (":", hex, hex, ":" ...) that every match
// holds. Longer runs are rarer in text that merely looks alike (times such as "04:00:37"
// hold the pairs of a MAC address, not its run).
constexpr size_t kMaxRun = 8;

// What a piece of the expression can match.
struct Info {
    bool nullable = true;              // may match the empty text
    bool zeroWidth = true;             // never consumes a byte (anchors, lookarounds)
    ByteSet first, last;               // bytes a non-empty match may begin or end with
    long maxLength = 0;                // -1: unbounded
    std::vector<RegexFactor> factors;  // required in every match (only when !nullable)
    // Runs of sets every non-empty match begins (head) and ends (tail) with, at most kMaxRun
    // long; fixed: every match is exactly the run head (== tail) and nothing else.
    std::vector<ByteSet> head, tail;
    bool fixed = false;
};

struct Unsupported {};

ByteSet range(int from, int to) {
    ByteSet set;
    for (int c = from; c <= to; ++c) set.set(static_cast<size_t>(c));
    return set;
}

ByteSet highBytes() {
    return range(0x80, 0xFF);
}

// The escape classes, widened with every byte 0x80 and above (a locale may count them in).
ByteSet escapeClass(char c) {
    ByteSet digits = range('0', '9');
    ByteSet word = digits | range('a', 'z') | range('A', 'Z');
    word.set('_');
    ByteSet space;
    for (char s : {' ', '\t', '\n', '\v', '\f', '\r'}) space.set(static_cast<unsigned char>(s));
    switch (c) {
        case 'd':
            return digits | highBytes();
        case 'w':
            return word | highBytes();
        case 's':
            return space | highBytes();
        case 'D':
            return ~digits;
        case 'W':
            return ~word | highBytes();
        case 'S':
            return ~space | highBytes();
        default:
            throw Unsupported();
    }
}

// Lengths saturate to "unbounded" long before they could overflow.
constexpr long kLengthLimit = 1L << 40;
long addLengths(long a, long b) {
    return (a < 0 || b < 0 || a + b > kLengthLimit) ? -1 : a + b;
}
long multiplyLength(long length, long count) {
    if (length < 0 || count < 0) return -1;
    if (length != 0 && count > kLengthLimit / length) return -1;
    return length * count;
}

Info charInfo(const ByteSet& set) {
    Info info;
    info.nullable = false;
    info.zeroWidth = false;
    info.first = info.last = set;
    info.maxLength = 1;
    info.factors.push_back({{set}, 0});
    info.head = info.tail = {set};
    info.fixed = true;
    return info;
}

Info zeroWidthInfo() {
    return Info();
}

// Any text at all (a back reference): nullable, unbounded, any byte.
Info anyTextInfo() {
    Info info;
    info.zeroWidth = false;
    info.first.set();
    info.last.set();
    info.maxLength = -1;
    return info;
}

void addFactor(std::vector<RegexFactor>& factors, RegexFactor factor) {
    if (factors.size() < kMaxFactors) {
        factors.push_back(std::move(factor));
        return;
    }
    // Full: a longer factor takes the place of the shortest.
    auto shortest = std::min_element(
        factors.begin(), factors.end(),
        [](const RegexFactor& a, const RegexFactor& b) { return a.sets.size() < b.sets.size(); });
    if (shortest->sets.size() < factor.sets.size()) *shortest = std::move(factor);
}

// A run of three sets or more becomes a factor (pairs are found by the adjacency rule).
void addRun(std::vector<RegexFactor>& factors, const std::vector<ByteSet>& run, long offset) {
    if (run.size() < 3) return;
    const size_t size = std::min(run.size(), kMaxRun);
    addFactor(factors,
              {std::vector<ByteSet>(run.begin(), run.begin() + static_cast<long>(size)), offset});
}

// An offset moved by some bytes (back, when negative), or still not known (-1).
long offsetBy(long offset, long bytes) {
    if (offset < 0) return -1;
    if (bytes < 0) return offset + bytes >= 0 ? offset + bytes : -1;
    return addLengths(offset, bytes);
}

void append(std::vector<ByteSet>& run, const std::vector<ByteSet>& more) {
    for (const ByteSet& set : more) {
        if (run.size() >= 4 * kMaxRun) return;
        run.push_back(set);
    }
}

// Extends the run that ends where the items so far end; a run grown long gives its front
// as a factor and keeps its end.
void extendRun(std::vector<RegexFactor>& factors, std::vector<ByteSet>& run, long& runOffset,
               const std::vector<ByteSet>& more) {
    for (const ByteSet& set : more) {
        if (run.size() >= 2 * kMaxRun) {
            addRun(factors, run, runOffset);
            run.erase(run.begin(), run.begin() + static_cast<long>(kMaxRun));
            runOffset = offsetBy(runOffset, static_cast<long>(kMaxRun));
        }
        run.push_back(set);
    }
}

std::vector<ByteSet> lastSets(const std::vector<ByteSet>& run) {
    const size_t size = std::min(run.size(), kMaxRun);
    return std::vector<ByteSet>(run.end() - static_cast<long>(size), run.end());
}

Info concatenate(const std::vector<Info>& items) {
    Info result;
    result.zeroWidth = true;
    const Info* previous = nullptr;  // last consuming item, adjacency kept across zero-width
    bool adjacent = true;            // no nullable consuming item since `previous`
    bool seenConsuming = false;
    // The run of sets that ends where the items so far end (empty after an item that may
    // match nothing), and whether every item so far is fixed (the head still grows).
    std::vector<ByteSet> run;
    long runOffset = 0;  // most bytes of a match before the run
    bool allFixed = true;
    for (const Info& item : items) {
        const long before = result.maxLength;  // most bytes of a match before this item
        result.maxLength = addLengths(result.maxLength, item.maxLength);
        if (item.zeroWidth) continue;
        result.zeroWidth = false;
        if (!seenConsuming || result.nullable) result.first |= item.first;
        seenConsuming = true;
        if (item.nullable) {
            result.last |= item.last;
            adjacent = false;
            addRun(result.factors, run, runOffset);
            run.clear();
            allFixed = false;
            continue;
        }
        // item always consumes: what came before can no longer end the match.
        result.last = item.last;
        for (const RegexFactor& f : item.factors) {
            addFactor(result.factors,
                      {f.sets, f.maxOffset < 0 ? -1 : offsetBy(before, f.maxOffset)});
        }
        if (previous && adjacent) {
            // The pair begins on the last byte of the item before.
            addFactor(result.factors, {{previous->last, item.first}, offsetBy(before, -1)});
        }
        if (allFixed) append(result.head, item.head);
        if (run.empty()) runOffset = before;
        extendRun(result.factors, run, runOffset, item.head);
        if (!item.fixed) {
            addRun(result.factors, run, runOffset);
            run = item.tail;
            // The item's tail ends where the item's match ends.
            runOffset = item.maxLength < 0
                            ? -1
                            : offsetBy(before, item.maxLength - static_cast<long>(run.size()));
            allFixed = false;
        }
        result.nullable = false;
        previous = &item;
        adjacent = true;
    }
    if (result.nullable) {
        result.factors.clear();
        result.head.clear();
        return result;
    }
    addRun(result.factors, run, runOffset);
    result.fixed = allFixed && result.head.size() <= kMaxRun;
    result.tail = lastSets(run);
    if (result.head.size() > kMaxRun) result.head.resize(kMaxRun);
    return result;
}

Info alternate(const std::vector<Info>& branches) {
    Info result;
    result.nullable = false;
    result.zeroWidth = true;
    result.maxLength = 0;
    for (const Info& b : branches) {
        result.nullable = result.nullable || b.nullable;
        result.zeroWidth = result.zeroWidth && b.zeroWidth;
        result.first |= b.first;
        result.last |= b.last;
        result.maxLength = (result.maxLength < 0 || b.maxLength < 0)
                               ? -1
                               : std::max(result.maxLength, b.maxLength);
    }
    if (!result.nullable) result.factors.push_back({{result.first}, 0});
    return result;
}

Info repeat(const Info& item, long min, long max) {
    Info result = item;
    if (item.zeroWidth) return zeroWidthInfo();
    result.maxLength = multiplyLength(item.maxLength, max);
    result.fixed = false;
    if (min == 0 || item.nullable) {
        result.nullable = true;
        result.factors.clear();
        result.head.clear();
        result.tail.clear();
        return result;
    }
    // Between the first copy and the second.
    if (min >= 2) {
        addFactor(result.factors,
                  {{item.last, item.first}, item.maxLength < 0 ? -1 : item.maxLength - 1});
    }
    if (item.fixed) {
        // min copies of a fixed item follow one another in every match.
        std::vector<ByteSet> copies;
        for (long i = 0; i < min && copies.size() < 2 * kMaxRun; ++i) append(copies, item.head);
        addRun(result.factors, copies, 0);
        result.fixed = min == max && copies.size() <= kMaxRun &&
                       copies.size() == item.head.size() * static_cast<size_t>(min);
        result.tail = lastSets(copies);
        if (copies.size() > kMaxRun) copies.resize(kMaxRun);
        result.head = copies;
    }
    return result;
}

class Parser {
  public:
    explicit Parser(const std::string& text) : s_(text) {}

    Info parse() {
        Info info = alternation();
        if (pos_ != s_.size()) throw Unsupported();  // a stray ")"
        return info;
    }
    // The expression holds a lookahead or an end-of-text assertion, which may read past the
    // end of a match.
    bool looksAhead() const { return looksAhead_; }

  private:
    bool done() const { return pos_ >= s_.size(); }
    char peek() const { return s_[pos_]; }

    Info alternation() {
        std::vector<Info> branches{sequence()};
        while (!done() && peek() == '|') {
            ++pos_;
            branches.push_back(sequence());
        }
        return branches.size() == 1 ? branches[0] : alternate(branches);
    }

    Info sequence() {
        std::vector<Info> items;
        while (!done() && peek() != '|' && peek() != ')') {
            Info atom = this->atom();
            items.push_back(quantified(atom));
        }
        return concatenate(items);
    }

    Info quantified(Info atom) {
        if (done()) return atom;
        long min = -1, max = -1;
        const char c = peek();
        if (c == '*') {
            min = 0;
        } else if (c == '+') {
            min = 1;
        } else if (c == '?') {
            min = 0;
            max = 1;
        } else if (c == '{') {
            return braces(atom);
        } else {
            return atom;
        }
        ++pos_;
        lazyOrPossessive();
        return quantified(repeat(atom, min, max));
    }

    Info braces(const Info& atom) {
        size_t p = pos_ + 1;
        auto number = [&](long& out) {
            const size_t start = p;
            out = 0;
            while (p < s_.size() && isdigit(static_cast<unsigned char>(s_[p])) && p - start < 6) {
                out = out * 10 + (s_[p] - '0');
                ++p;
            }
            return p > start;
        };
        long min = 0, max = 0;
        if (!number(min)) throw Unsupported();
        if (p < s_.size() && s_[p] == '}') {
            max = min;
        } else if (p < s_.size() && s_[p] == ',') {
            ++p;
            if (!number(max)) max = -1;
            if (p >= s_.size() || s_[p] != '}') throw Unsupported();
        } else {
            throw Unsupported();
        }
        if (max >= 0 && max < min) throw Unsupported();
        pos_ = p + 1;
        lazyOrPossessive();
        return quantified(repeat(atom, min, max));
    }

    void lazyOrPossessive() {
        if (!done() && (peek() == '?' || peek() == '+')) ++pos_;
    }

    Info atom() {
        const char c = s_[pos_++];
        switch (c) {
            case '(':
                return group();
            case '[':
                return charInfo(bracket());
            case '.': {
                ByteSet all;
                all.set();
                return charInfo(all);
            }
            case '^':
            case '$':
                return zeroWidthInfo();
            case '\\':
                return escape();
            case '*':
            case '+':
            case '?':
            case '{':
            case '}':
            case ']':
            case ')':
                throw Unsupported();
            default: {
                ByteSet one;
                one.set(static_cast<unsigned char>(c));
                return charInfo(one);
            }
        }
    }

    Info escape() {
        if (done()) throw Unsupported();
        const char c = s_[pos_++];
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == 'b' || c == 'B' || c == 'A' || c == 'z' || c == 'Z' || c == '<' || c == '>' ||
            c == '`' || c == '\'') {
            // The end-of-text assertions read the whole rest of the text.
            if (c == 'z' || c == 'Z' || c == '\'') looksAhead_ = true;
            return zeroWidthInfo();
        }
        if (c >= '1' && c <= '9') {
            // A back reference matches any text; "\10" may name group 10 or group 1 and "0".
            if (!done() && isdigit(static_cast<unsigned char>(peek()))) throw Unsupported();
            return anyTextInfo();
        }
        if (c == 'd' || c == 'D' || c == 'w' || c == 'W' || c == 's' || c == 'S') {
            return charInfo(escapeClass(c));
        }
        ByteSet one;
        if (c == 't') {
            one.set('\t');
        } else if (c == 'n') {
            one.set('\n');
        } else if (c == 'r') {
            one.set('\r');
        } else if (c == 'f') {
            one.set('\f');
        } else if (u < 0x80 && !isalnum(u) && c != '<' && c != '>') {
            one.set(u);  // an escaped punctuation character stands for itself
        } else {
            throw Unsupported();  // \x, \Q, \K, \G, \p, \c, octal and the rest
        }
        return charInfo(one);
    }

    Info group() {
        bool lookaround = false;
        if (!done() && peek() == '?') {
            ++pos_;
            if (done()) throw Unsupported();
            const char kind = s_[pos_++];
            if (kind == ':' || kind == '>') {
                // plain or atomic group
            } else if (kind == '=' || kind == '!') {
                lookaround = true;
                looksAhead_ = true;
            } else if (kind == '<' && !done() && (peek() == '=' || peek() == '!')) {
                ++pos_;
                lookaround = true;
            } else if (kind == '<' || kind == '\'' || (kind == 'P' && !done() && peek() == '<')) {
                if (kind == 'P') ++pos_;
                const char close = kind == '\'' ? '\'' : '>';
                const size_t end = s_.find(close, pos_);
                if (end == std::string::npos || end == pos_) throw Unsupported();
                for (size_t i = pos_; i < end; ++i) {
                    if (!isalnum(static_cast<unsigned char>(s_[i])) && s_[i] != '_') {
                        throw Unsupported();
                    }
                }
                pos_ = end + 1;
            } else {
                throw Unsupported();  // inline options, conditionals, comments, recursion
            }
        } else if (!done() && peek() == '*') {
            throw Unsupported();  // (*VERB)
        }
        Info inner = alternation();
        if (done() || peek() != ')') throw Unsupported();
        ++pos_;
        return lookaround ? zeroWidthInfo() : inner;
    }

    ByteSet bracket() {
        ByteSet set;
        bool negate = false;
        if (!done() && peek() == '^') {
            negate = true;
            ++pos_;
        }
        bool firstItem = true;
        int previous = -1;  // the last single byte, for a range
        for (;;) {
            if (done()) throw Unsupported();
            char c = s_[pos_++];
            if (c == ']' && !firstItem) break;
            firstItem = false;
            if (c == '[') throw Unsupported();  // [:class:], [.x.], [=x=]
            int byte = -1;
            if (c == '\\') {
                if (done()) throw Unsupported();
                const char e = s_[pos_++];
                const unsigned char u = static_cast<unsigned char>(e);
                if (e == 'd' || e == 'D' || e == 'w' || e == 'W' || e == 's' || e == 'S') {
                    set |= escapeClass(e);
                    previous = -1;
                    continue;
                }
                if (e == 't') {
                    byte = '\t';
                } else if (e == 'n') {
                    byte = '\n';
                } else if (e == 'r') {
                    byte = '\r';
                } else if (u < 0x80 && !isalnum(u)) {
                    byte = u;
                } else {
                    throw Unsupported();
                }
            } else if (c == '-' && previous >= 0 && !done() && peek() != ']') {
                char hi = s_[pos_++];
                if (hi == '\\' || hi == '[') throw Unsupported();
                const int top = static_cast<unsigned char>(hi);
                if (top < previous) throw Unsupported();
                set |= range(previous, top);
                previous = -1;
                continue;
            } else {
                byte = static_cast<unsigned char>(c);
            }
            set.set(static_cast<size_t>(byte));
            previous = byte;
        }
        return negate ? ~set : set;
    }

    const std::string& s_;
    size_t pos_ = 0;
    bool looksAhead_ = false;
};

// A single set that a pair already requires (one of its sets lies inside it) adds nothing.
void dropImpliedSingles(std::vector<RegexFactor>& factors) {
    std::vector<RegexFactor> kept;
    for (const RegexFactor& f : factors) {
        bool implied = false;
        if (f.sets.size() == 1) {
            for (const RegexFactor& g : factors) {
                if (g.sets.size() != 2) continue;
                for (const ByteSet& set : g.sets) {
                    if ((set & ~f.sets[0]).none()) implied = true;
                }
            }
        }
        if (!implied) kept.push_back(f);
    }
    factors.swap(kept);
}

}  // namespace

std::optional<RegexPrefilter> RegexPrefilter::analyze(const std::string& expression) {
    // \G depends on where each search starts, which skipping changes.
    if (expression.find("\\G") != std::string::npos) return std::nullopt;
    try {
        Parser parser(expression);
        Info info = parser.parse();
        if (info.nullable || info.factors.empty()) return std::nullopt;
        RegexPrefilter filter;
        // Pairs first: they are the rarer ones, so a line fails on them sooner.
        std::stable_sort(info.factors.begin(), info.factors.end(),
                         [](const RegexFactor& a, const RegexFactor& b) {
                             return a.sets.size() > b.sets.size();
                         });
        dropImpliedSingles(info.factors);
        filter.factors_ = std::move(info.factors);
        for (const RegexFactor& factor : filter.factors_)
            filter.scans_.push_back(prepareFactorScan(factor));
        filter.maxLength_ = info.maxLength;
        filter.windowed_ = info.maxLength >= 0 && !parser.looksAhead();
        return filter;
    } catch (const Unsupported&) {
        return std::nullopt;
    }
}

}  // namespace scrub
