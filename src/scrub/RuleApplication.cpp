// Literal rules: whole-word replacement outside masked text.
#include "scrub/RuleApplication.h"

#include "scrub/BitMap.h"

namespace scrub {
namespace {

// A word character for the boundary test: an ASCII letter or digit. A byte of 0x80 and above
// is part of a multi-byte character (an apostrophe, an accented letter, a no-break space),
// never the ASCII letter its low seven bits would name, so it separates words.
bool continuesWord(const BitMap_t& word, unsigned char c) {
    return c < 0x80 && bitmapHas(word, c);
}

}  // namespace

void checkSeperatorChar(const std::string& lower, int position, int length, bool& start, bool& end,
                        const PatternPositionTracker& tracker) {
    start = false;
    end = false;
    tracker.checkSeperator(position, length, start, end);
    const BitMap_t& word = charClasses().word;
    const size_t after = static_cast<size_t>(position) + static_cast<size_t>(length);
    if (!end) {
        end =
            after >= lower.size() || !continuesWord(word, static_cast<unsigned char>(lower[after]));
    }
    if (!end || start) return;
    const size_t p = static_cast<size_t>(position);
    if (p == 0 || !continuesWord(word, static_cast<unsigned char>(lower[p - 1]))) {
        start = true;
        return;
    }
    // A URL escape right before the value ("user%40host") separates it like a blank.
    const BitMap_t& hex = charClasses().hex;
    start = p >= 3 && lower[p - 3] == '%' &&
            bitmapHas(hex, static_cast<unsigned char>(lower[p - 2])) &&
            bitmapHas(hex, static_cast<unsigned char>(lower[p - 1]));
}

bool applyLiteralRule(std::string& line, const std::string& lower, const std::string& text,
                      const std::string& name, PatternPositionTracker& tracker,
                      RuleScratch& scratch) {
    const size_t n = text.size();
    if (n == 0) return false;
    std::string& out = scratch.output;
    std::vector<Replacement>& done = scratch.replacements;
    out.clear();
    done.clear();
    size_t copied = 0;  // bytes of line already moved to out
    size_t p = lower.find(text);
    while (p != std::string::npos) {
        bool start = false;
        bool end = false;
        const int at = static_cast<int>(p);
        checkSeperatorChar(lower, at, static_cast<int>(n), start, end, tracker);
        if (start && end && !tracker.checkOverlap(at, static_cast<int>(n))) {
            out.append(line, copied, p - copied);
            done.push_back(
                {static_cast<int>(out.size()), static_cast<int>(n), static_cast<int>(name.size())});
            out += name;
            copied = p + n;
            p = lower.find(text, p + n);
        } else {
            p = lower.find(text, p + 1);
        }
    }
    if (done.empty()) return false;
    out.append(line, copied, std::string::npos);
    line.swap(out);
    recordReplacements(done, tracker);
    return true;
}

void recordReplacements(const std::vector<Replacement>& replacements,
                        PatternPositionTracker& tracker) {
    for (const Replacement& r : replacements) {
        tracker.insertPatternPosition(r.position, r.length, r.newLength);
    }
}

void rawSearchAndReplaceLogLine(std::string& line, std::string text, std::string name,
                                PatternPositionTracker& tracker) {
    RuleScratch scratch;
    applyLiteralRule(line, toLowerStr(line), text, name, tracker, scratch);
}

}  // namespace scrub
