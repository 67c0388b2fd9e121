// Preparation of a rule list: one compilation per regex rule, one prefilter for all literal
// rules.
#include "scrub/CompiledRules.h"

#include "host/Log.h"
#include "scrub/RegexUnroll.h"

namespace scrub {
namespace {

const char* const kTag = "CompiledRules";

}  // namespace

const char* describeRegexError(boost::regex_constants::error_type code) {
    namespace rc = boost::regex_constants;
    switch (code) {
        case rc::error_collate:
            return "invalid collating element";
        case rc::error_ctype:
            return "invalid character class";
        case rc::error_escape:
            return "invalid escape";
        case rc::error_backref:
            return "invalid back reference";
        case rc::error_brack:
            return "unmatched bracket";
        case rc::error_paren:
            return "unmatched parenthesis";
        case rc::error_brace:
            return "unmatched brace";
        case rc::error_badbrace:
            return "invalid repeat count";
        case rc::error_range:
            return "invalid character range";
        case rc::error_space:
            return "out of memory";
        case rc::error_badrepeat:
            return "nothing to repeat";
        case rc::error_complexity:
            return "match too complex";
        case rc::error_stack:
            return "match needs too much stack";
        case rc::error_perl_extension:
            return "invalid extension";
        case rc::error_empty:
            return "empty expression";
        case rc::error_end:
            return "unexpected end of expression";
        default:
            return "invalid expression";
    }
}

CompiledRules::CompiledRules(const ScrubRuleList& rules, const ScannerOptions& scanner)
    : failed_(std::make_unique<std::atomic<bool>[]>(rules.size())) {
    rules_.reserve(rules.size());
    for (size_t i = 0; i < rules.size(); ++i) {
        CompiledRule rule;
        rule.text = rules[i].first;
        rule.charSet = rules[i].second.charSet;
        rule.isRegex = rules[i].second.isRegex;
        rule.setIsText = !rule.isRegex && rule.charSet == createIgnoreCaseBitMap(rule.text);
        for (unsigned code = 0; code < 128; ++code) {
            if (!bitmapHas(rule.charSet, static_cast<unsigned char>(code))) continue;
            if (rule.setCodes < 2) rule.codes[rule.setCodes] = static_cast<unsigned char>(code);
            ++rule.setCodes;
        }
        if (rule.isRegex) {
            try {
                rule.regex = std::make_unique<boost::regex>(rule.text, boost::regex::perl);
                // Errors are reported against the expression as written; the faster
                // equivalent is used only when it compiles.
                const std::string unrolled = unrollFixedGroupRepeats(rule.text);
                if (unrolled != rule.text) {
                    try {
                        boost::regex faster(unrolled, boost::regex::perl);
                        rule.regex->swap(faster);
                    } catch (const boost::regex_error&) {
                    }
                }
                rule.regexPrefilter = RegexPrefilter::analyze(rule.text);
            } catch (const boost::regex_error& e) {
                rule.broken = true;
                EvDebug log;
                log.Error(kTag,
                          "Scrub rule %zu is a regular expression that does not compile (%s at "
                          "offset %td); the rule is skipped.",
                          i, describeRegexError(e.code()), e.position());
            }
        } else {
            prefilter_.add(rule.text, static_cast<uint32_t>(i));
        }
        rules_.push_back(std::move(rule));
    }
    prefilter_.finish();
    if (scanner.enabled) scanner_ = CandidateScanner::build(rules_, scanner.refuse);
    if (scanner_) {
        for (size_t i = 0; i < rules_.size(); ++i) {
            if (!rules_[i].isRegex && !scanner_->scansLiteral(i)) {
                unscanned_.add(rules_[i].text, static_cast<uint32_t>(i));
            }
        }
    }
    unscanned_.finish();
}

bool CompiledRules::firstFailure(size_t rule) const {
    return rule < rules_.size() && !failed_[rule].exchange(true);
}

bool CompiledRules::sameAs(const ScrubRuleList& rules) const {
    if (rules.size() != rules_.size()) return false;
    for (size_t i = 0; i < rules.size(); ++i) {
        const CompiledRule& mine = rules_[i];
        if (mine.isRegex != rules[i].second.isRegex || !(mine.charSet == rules[i].second.charSet) ||
            mine.text != rules[i].first) {
            return false;
        }
    }
    return true;
}

}  // namespace scrub

// Thread sanitizer builds only. Boost.Regex keeps a small cache of the memory blocks its
// matcher uses and passes them from one thread to the next through atomic operations inside
// its shared library. The sanitizer does not see into that library, so a block used by one
// worker and then by another looks like an unsynchronised write. Only the matcher's first
// write into a recycled block is named here (the constructors of its saved states, or the
// search where they are inlined); any other race still stops the run.
#if defined(__SANITIZE_THREAD__)
#define SENDLOGS_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SENDLOGS_TSAN 1
#endif
#endif

//
// The C library's mktime re-reads the time zone under a lock of its own, which the sanitizer
// does not see either: when TZ is unset it frees and copies its saved zone name on every call,
// so two threads converting log times look like a race inside tzset.
#ifdef SENDLOGS_TSAN
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    // Where the state's constructor is inlined, the write shows in the matcher's search.
    return "race:boost::re_detail_*::saved_\n"
           "race:boost::re_detail_*::perl_matcher*::find_imp\n"
           "race:tzset_internal\n";
}
#endif
