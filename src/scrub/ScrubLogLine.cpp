// The exported line-scrubbing functions. scrubLogLine keeps, per thread, the rule list it last
// compiled, so callers that scrub line after line with the same rules compile each expression
// once; since it cannot know how long the caller's map lives, it asks the map for every name.
#include "scrub/ScrubLogLine.h"

#include <memory>

#include "host/Log.h"
#include "scrub/BitMap.h"
#include "scrub/CompiledRules.h"
#include "scrub/LineScrubber.h"

namespace {

struct ThreadScrubber {
    std::shared_ptr<const scrub::CompiledRules> rules;
    std::unique_ptr<scrub::LineScrubber> scrubber;
};

scrub::LineScrubber& scrubberFor(const ScrubRuleList& rules, ReplacementMap* replacements) {
    thread_local ThreadScrubber cached;
    if (!cached.rules || !cached.rules->sameAs(rules)) {
        cached.scrubber.reset();
        cached.rules = std::make_shared<const scrub::CompiledRules>(rules);
        cached.scrubber = std::make_unique<scrub::LineScrubber>(
            cached.rules, scrub::NameSource(replacements), false);
    }
    cached.scrubber->setNameSource(scrub::NameSource(replacements));
    return *cached.scrubber;
}

}  // namespace

int scrubLogLine(std::string& line, ScrubRuleList* rules, ReplacementMap* replacements) {
    if (!rules || line.empty()) return 0;
    try {
        return scrubberFor(*rules, replacements).scrub(line) ? 0 : -1;
    } catch (const std::exception& e) {
        EvDebug log;
        log.Error("int scrubLogLine(std::string&, ScrubRuleList*, ReplacementMap*)",
                  "Exception during scrubbing: %s; the line is replaced by %s", e.what(),
                  scrub::kRedactedLine);
    }
    const bool newline = line.back() == '\n';
    line.assign(scrub::kRedactedLine);
    if (newline) line.push_back('\n');
    return -1;
}

bool includeLogLineHeader(const std::string& line) {
    return scrub::testTextOffset(line.data(), line.size()) != 0;
}

void checkScrubCustomLinePatterns(std::string& line, ScrubRuleList* /*rules*/,
                                  ReplacementMap* /*replacements*/) {
    scrub::applyCustomLineRules(line);
}

bool SearchContent(std::string text, std::string pattern) {
    // Both arrive as copies: lower-case them in place rather than copying again.
    scrub::lowerInto(text.data(), text.size(), &text[0]);
    scrub::lowerInto(pattern.data(), pattern.size(), &pattern[0]);
    return text.find(pattern) != std::string::npos;
}
