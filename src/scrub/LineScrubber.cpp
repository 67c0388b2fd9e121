// The rule loop of the line scrubber. Per line it lower-cases once, builds the line's bitmap,
// and lets the literal prefilter say which literal rules occur at all; rules are then visited
// in list order, but only those that can change the line or the replacement map: literal
// rules that occur, literal rules whose masked name is not known yet (a rule that passes the
// bitmap test takes its name even when it replaces nothing), and regex rules.
#include "scrub/LineScrubber.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <ctime>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "host/Log.h"
#include "scrub/BitMap.h"
#include "scrub/ScrubConstants.h"
#include "scrub/ScrubLogLine.h"

namespace scrub {
namespace {

const char* const kTag =
    "int scrubLogLine(std::string&, std::vector<std::pair<std::string, ScrubPatternConfig_t> >*, "
    "std::map<std::string, std::string>*)";

// Tracker positions are ints; a line this long cannot be tracked safely.
constexpr size_t kMaxScrubbedLine = size_t{1} << 30;
// The cache of names of regex matches stops growing here, so memory stays flat.
constexpr size_t kMaxCachedMatchNames = 1 << 16;

// Values masked by the scrubbers of this process; each scrubber adds once per line or block.
std::atomic<uint64_t> maskedValues{0};

void countMasked(size_t values) {
    if (values != 0) maskedValues.fetch_add(values, std::memory_order_relaxed);
}

// Starts of matches one windowed search of a regex rule looks at (see searchFrom).
constexpr size_t kSearchWindow = 64;
// Marks a scanned literal whose occurrence begins at or after the line's test offset.
constexpr uint32_t kBeginsInTestedText = uint32_t{1} << 31;

// Thrown inside the rule loop when a line has used up its time.
struct LineTimeExceeded {};

// Nanoseconds of the monotonic clock at its coarse resolution (a few milliseconds): read
// before every regex search of every line, it must cost next to nothing.
long long coarseNow() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

size_t words(size_t bits) {
    return (bits + 63) / 64;
}

// Lower-cases size bytes of in into out and returns the ignore-case bitmap of the bytes from
// offset on. Each byte marks its 7-bit code in a table (independent stores, no chain of
// dependent operations); the table is then packed into the bitmap.
BitMap_t lowerAndCollect(const char* in, size_t size, char* out, size_t offset) {
    alignas(16) uint8_t seen[128] = {};
    for (size_t i = 0; i < offset && i < size; ++i) out[i] = lowerAscii(in[i]);
    for (size_t i = offset; i < size; ++i) {
        const char c = lowerAscii(in[i]);
        out[i] = c;
        seen[static_cast<unsigned char>(c) & 0x7Fu] = 0x80;
    }
    BitMap_t set;
#ifdef __SSE2__
    for (int word = 0; word < 4; ++word) {
        const __m128i lowHalf = _mm_load_si128(reinterpret_cast<const __m128i*>(seen + 32 * word));
        const __m128i highHalf =
            _mm_load_si128(reinterpret_cast<const __m128i*>(seen + 32 * word + 16));
        set.bits[word] = static_cast<uint32_t>(_mm_movemask_epi8(lowHalf)) |
                         (static_cast<uint32_t>(_mm_movemask_epi8(highHalf)) << 16);
    }
#else
    for (unsigned code = 0; code < 128; ++code) {
        if (seen[code]) set.bits[code >> 5] |= 1u << (code & 31u);
    }
#endif
    return set;
}

// The bitmap of the 7-bit codes of size (already lower-cased) bytes.
BitMap_t collectCodes(const char* in, size_t size) {
    alignas(16) uint8_t seen[128] = {};
    for (size_t i = 0; i < size; ++i) seen[static_cast<unsigned char>(in[i]) & 0x7Fu] = 0x80;
    BitMap_t set;
    for (unsigned code = 0; code < 128; ++code) {
        if (seen[code]) set.bits[code >> 5] |= 1u << (code & 31u);
    }
    return set;
}

}  // namespace

size_t testTextOffset(const char* line, size_t size) {
    const bool header = size >= 27 && line[5] == ' ' && line[11] == ' ' && line[17] == ' ' &&
                        line[14] == '/' && line[20] == ':' && line[23] == ':';
    return header ? 27 : 0;
}

uint64_t maskedValueCount() {
    return maskedValues.load(std::memory_order_relaxed);
}

bool applyCustomLineRules(std::string& line) {
    for (const ScrubCustomLinePatterns_t& rule : cscrubLines) {
        if (line.compare(0, rule.linePrefix.size(), rule.linePrefix) != 0) continue;
        if (rule.maskedMarker.empty() || line.find(rule.maskedMarker) == std::string::npos) {
            line = rule.linePrefix + defaultCustomLineScrubSuffixStr;
            return true;
        }
        return false;
    }
    return false;
}

std::unique_ptr<LineScrubber> makeLineScrubber(const ScrubRuleList* rules,
                                               ReplacementMap* replacements) {
    if (!rules) return nullptr;
    return std::make_unique<LineScrubber>(std::make_shared<const CompiledRules>(*rules),
                                          NameSource(replacements));
}

LineScrubber::LineScrubber(std::shared_ptr<const CompiledRules> rules, NameSource names,
                           bool rememberNames)
    : rules_(std::move(rules)),
      names_(names),
      rememberNames_(rememberNames),
      matchNames_(kMaxCachedMatchNames) {
    const size_t count = rules_->rules().size();
    literalNames_.assign(count, std::string());
    alwaysVisit_.assign(words(count), 0);
    visit_.assign(words(count), 0);
    for (size_t i = 0; i < count; ++i) {
        // Without a map every name is empty and nothing is handed out: no visit needed.
        const bool nameUnknown = names_.hasMap() || !rememberNames_;
        const CompiledRule& rule = rules_->rules()[i];
        if (rule.isRegex || nameUnknown) {
            alwaysVisit_[i >> 6] |= uint64_t{1} << (i & 63);
        }
        if (rule.isRegex && !rule.broken) regexRules_.push_back(static_cast<uint32_t>(i));
    }
    preparedStart_.assign(count, 0);
    preparedStamp_.assign(count, 0);
}

const std::string& LineScrubber::literalName(size_t rule) {
    const bool known = !((alwaysVisit_[rule >> 6] >> (rule & 63)) & 1);
    if (known) return literalNames_[rule];
    if (!rememberNames_) {
        lookupResult_ = names_.lookup(rules_->rules()[rule].text);
        return lookupResult_;
    }
    literalNames_[rule] = names_.lookup(rules_->rules()[rule].text);
    alwaysVisit_[rule >> 6] &= ~(uint64_t{1} << (rule & 63));
    unknownNamesStale_ = true;
    return literalNames_[rule];
}

const std::string& LineScrubber::matchName(const char* text, size_t size) {
    if (rememberNames_ && names_.hasMap()) {
        if (const std::string* known = matchNames_.find(text, size)) return *known;
    }
    matchText_.assign(text, size);
    lookupResult_ = names_.lookup(matchText_);
    if (rememberNames_ && names_.hasMap()) matchNames_.insert(matchText_, lookupResult_);
    return lookupResult_;
}

bool LineScrubber::lineHasSet(const CompiledRule& rule) {
    if (lineSetReady_) return bitmapIncludes(lineSet_, rule.charSet);
    const char* text = firstLower_.data() + lineOffset_;
    const size_t size = firstLower_.size() - lineOffset_;
    // A literal rule's set is its text's: where the text occurs in the tested part, the set
    // is there too. A set of a byte or two (an expression's hint) is looked for directly.
    if (rule.setIsText && firstLower_.find(rule.text, lineOffset_) != std::string::npos) {
        return true;
    }
    if (rule.setCodes <= 2) {
        for (int i = 0; i < rule.setCodes; ++i) {
            // A lower-cased byte counts by its low seven bits.
            const unsigned code = rule.codes[i];
            if (!memchr(text, static_cast<int>(code), size) &&
                !memchr(text, static_cast<int>(code | 0x80u), size)) {
                return false;
            }
        }
        return true;
    }
    lineSet_ = collectCodes(text, size);
    lineSetReady_ = true;
    return bitmapIncludes(lineSet_, rule.charSet);
}

const std::string& LineScrubber::currentLower(const std::string& line) {
    if (!lineChanged_) return firstLower_;
    if (!lowerCurrent_) {
        lower_.resize(line.size());
        lowerInto(line.data(), line.size(), &lower_[0]);
        lowerCurrent_ = true;
    }
    return lower_;
}

bool LineScrubber::outOfTime() const {
    return coarseNow() >= lineDeadline_;
}

void LineScrubber::applyRegex(size_t index, std::string& line) {
    const CompiledRule& rule = rules_->rules()[index];
    const std::string& lower = currentLower(line);
    std::string& out = scratch_.output;
    std::vector<Replacement>& done = scratch_.replacements;
    out.clear();
    done.clear();
    size_t copied = 0;
    // Whatever happens in the search, the replacements made so far stay and are recorded.
    auto finish = [&] {
        if (done.empty()) return;
        out.append(line, copied, std::string::npos);
        line.swap(out);
        recordReplacements(done, tracker_);
        lineMasked_ += done.size();
        lowerCurrent_ = false;
        lineChanged_ = true;
    };
    try {
        const auto begin = lower.cbegin();
        const auto end = lower.cend();
        size_t from = 0;
        for (;;) {
            if (outOfTime()) throw LineTimeExceeded();
            // The prefilter may move the start ahead, past places where no match can begin;
            // the search still sees the text from `from` on (\b, ^ and lookbehinds), as a
            // search from `from` would.
            size_t start = from;
            if (from == 0 && !lineChanged_ && preparedStamp_[index] == prepareStamp_) {
                start = preparedStart_[index];  // the same search on the same text
                if (start == std::string::npos) break;
            } else if (rule.regexPrefilter) {
                start = rule.regexPrefilter->skipTo(lower, from);
                if (start == std::string::npos) break;
            }
            // Each search starts afresh at from: anchors and \b see nothing before it.
            const auto base = begin + static_cast<long>(from);
            if (!searchFrom(rule, lower, from, start)) break;
            auto first = search_.matchBegin();
            auto last = search_.matchEnd();
            if (first == last) {
                // An empty match masks nothing. Another alternative may still match text at
                // the same place ("x*|secret"): try there once more, refusing an empty match,
                // before moving on by one byte.
                if (search_.search(
                        first, end, *rule.regex,
                        boost::match_default | boost::match_not_null | boost::match_continuous,
                        base)) {
                    first = search_.matchBegin();
                    last = search_.matchEnd();
                } else {
                    if (first == end) break;
                    from = static_cast<size_t>(first - begin) + 1;
                    continue;
                }
            }
            const std::string& name =
                matchName(lower.data() + (first - begin), static_cast<size_t>(last - first));
            const size_t at = static_cast<size_t>(first - begin);
            out.append(line, copied, at - copied);
            done.push_back({static_cast<int>(out.size()), static_cast<int>(last - first),
                            static_cast<int>(name.size())});
            out += name;
            copied = static_cast<size_t>(last - begin);
            from = copied;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

bool LineScrubber::searchFrom(const CompiledRule& rule, const std::string& lower, size_t from,
                              size_t start) {
    const auto begin = lower.cbegin();
    const auto base = begin + static_cast<long>(from);
    const RegexPrefilter* filter = rule.regexPrefilter ? &*rule.regexPrefilter : nullptr;
    if (filter && filter->windowed()) {
        // A search of a window that ends `reach` bytes after a start sees everything the
        // search of the whole line would see from that start on: a match there, and the byte
        // after it. So where the window yields a match that begins at most kSearchWindow bytes
        // in, it is the line's; where it yields none there, no match begins there, and the
        // prefilter moves the next window on to the next place where one could.
        const size_t reach = static_cast<size_t>(filter->maxLength()) + 2;
        while (lower.size() - start > kSearchWindow + reach) {
            if (outOfTime()) throw LineTimeExceeded();
            const size_t cut = start + kSearchWindow + reach;
            if (search_.search(begin + static_cast<long>(start), begin + static_cast<long>(cut),
                               *rule.regex, boost::match_default, base) &&
                static_cast<size_t>(search_.matchBegin() - begin) <= start + kSearchWindow) {
                return true;
            }
            start = filter->skipTo(lower, start + kSearchWindow + 1);
            if (start == std::string::npos) return false;
        }
    }
    return search_.search(begin + static_cast<long>(start), lower.cend(), *rule.regex,
                          boost::match_default, base);
}

bool LineScrubber::scrub(std::string& line) {
    const bool kept = scrubLine(line, nullptr, false);
    countMasked(lineMasked_);
    return kept;
}

bool LineScrubber::scrubLine(std::string& line, const std::vector<uint32_t>* scanned,
                             bool lowered) {
    if (!lowered) ++prepareStamp_;  // forget the starts noted for another line
    lineMasked_ = 0;
    if (line.empty()) return true;
    if (line.size() > kMaxScrubbedLine) {
        EvDebug log;
        log.Error(kTag, "A line of %zu bytes is too long to scrub; it is dropped.", line.size());
        line.clear();
        return false;
    }
    const size_t offset = testTextOffset(line);
    if (offset >= line.size()) return true;

    lineDeadline_ = coarseNow() + lineTimeLimit_.count();
    // The line as read, lower-cased: the rules' sets are tested against it (made only when
    // a test needs it), and the rules search it until one of them changes the line.
    if (!lowered) {
        firstLower_.resize(line.size());
        lowerInto(line.data(), line.size(), &firstLower_[0]);
    }
    lineOffset_ = offset;
    lineSetReady_ = false;
    lineChanged_ = false;
    lowerCurrent_ = false;
    const std::string& lower = firstLower_;
    const size_t count = rules_->rules().size();
    std::copy(alwaysVisit_.begin(), alwaysVisit_.end(), visit_.begin());
    candidates_.assign(words(count), 0);
    textInTestedPart_.assign(words(count), 0);
    auto found = [this](uint32_t id) {
        candidates_[id >> 6] |= uint64_t{1} << (id & 63);
        markVisit(id);
    };
    if (scanned) {
        for (uint32_t entry : *scanned) {
            const uint32_t id = entry & ~kBeginsInTestedText;
            found(id);
            if (entry & kBeginsInTestedText) textInTestedPart_[id >> 6] |= uint64_t{1} << (id & 63);
        }
        rules_->unscannedPrefilter().scan(lower.data(), lower.size(), found);
    } else {
        rules_->prefilter().scan(lower.data(), lower.size(), found);
    }

    tracker_.clear();
    for (size_t w = 0; w < visit_.size(); ++w) {
        for (uint64_t bits = visit_[w]; bits != 0; bits &= bits - 1) {
            const size_t index = w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
            const CompiledRule& rule = rules_->rules()[index];
            if (rule.broken) continue;
            // Where the text itself begins in the tested part, its set is there.
            const bool textSeen = rule.setIsText && ((textInTestedPart_[w] >> (index & 63)) & 1);
            if (!textSeen && !lineHasSet(rule)) continue;
            try {
                if (rule.isRegex) {
                    applyRegex(index, line);
                    continue;
                }
                const std::string& name = literalName(index);
                if (!((candidates_[w] >> (index & 63)) & 1)) continue;
                if (applyLiteralRule(line, currentLower(line), rule.text, name, tracker_,
                                     scratch_)) {
                    lineMasked_ += scratch_.replacements.size();
                    lowerCurrent_ = false;
                    lineChanged_ = true;
                }
                continue;
            } catch (const LineTimeExceeded&) {
                redact(line, index, "the line's time ran out");
            } catch (const boost::regex_error& e) {
                redact(line, index, describeRegexError(e.code()));
            } catch (const std::exception& e) {
                redact(line, index, e.what());
            } catch (...) {
                redact(line, index, "unknown failure");
            }
            return false;
        }
    }
    if (applyCustomLineRules(line)) ++lineMasked_;
    return true;
}

void LineScrubber::redact(std::string& line, size_t rule, const char* what) {
    // Nothing of the line leaves in clear: not the part before the rule's first unmasked
    // match, nor the part the remaining rules would have masked.
    const bool newline = !line.empty() && line.back() == '\n';
    line.assign(kRedactedLine);
    if (newline) line.push_back('\n');
    lowerCurrent_ = false;
    lineMasked_ = 0;  // a withheld line masks nothing: none of it leaves
    ++redactedLines_;
    // Once per rule of the prepared list: a rule that fails on one line tends to fail on
    // many. The line itself is never logged, since it is not masked.
    if (!rules_->firstFailure(rule)) return;
    EvDebug log;
    log.Error(kTag,
              "Scrub rule %zu could not be applied to a line (%s); such lines are replaced "
              "by %s.",
              rule, what, kRedactedLine);
}

}  // namespace scrub

namespace scrub {

const BitMap_t& LineScrubber::rawLineSet(const char* line, size_t size) {
    if (!rawSetCurrent_) {
        lower_.resize(size);
        rawSet_ = lowerAndCollect(line, size, &lower_[0], testTextOffset(line, size));
        lowerCurrent_ = false;  // lower_ no longer holds the line being scrubbed
        rawSetCurrent_ = true;
    }
    return rawSet_;
}

bool LineScrubber::untouched(const char* line, size_t size) {
    linePrepared_ = false;
    // The header-line rules look at the line's beginning.
    if (size > 0 && line[0] == '*') return false;
    if (!lineLiterals_.empty()) return false;
    rawSetCurrent_ = false;
    const std::vector<CompiledRule>& rules = rules_->rules();
    ++prepareStamp_;
    for (uint32_t index : regexRules_) {
        const CompiledRule& rule = rules[index];
        if (rule.regexPrefilter) {
            // The expression's own prefilter, on the line lower-cased: where it finds no
            // place a match could begin, the search would find none. The lower-cased line
            // and the start found are kept for scrubLine().
            if (!linePrepared_) {
                firstLower_.resize(size);
                lowerInto(line, size, &firstLower_[0]);
                linePrepared_ = true;
            }
            const size_t start = rule.regexPrefilter->skipTo(firstLower_, 0);
            preparedStart_[index] = start;
            preparedStamp_[index] = prepareStamp_;
            if (start != std::string::npos) return false;
        } else if (bitmapIncludes(rawLineSet(line, size), rule.charSet)) {
            return false;
        }
    }
    if (unknownNamesStale_) {
        unknownNames_.clear();
        for (size_t i = 0; i < rules.size(); ++i) {
            const bool visit = (alwaysVisit_[i >> 6] >> (i & 63)) & 1;
            if (visit && !rules[i].isRegex && !rules[i].broken) {
                unknownNames_.push_back(static_cast<uint32_t>(i));
            }
        }
        unknownNamesStale_ = false;
    }
    // A literal rule whose name is not known yet takes one on any line that passes its set.
    for (uint32_t index : unknownNames_) {
        if (bitmapIncludes(rawLineSet(line, size), rules[index].charSet)) return false;
    }
    if (!rules_->unscannedPrefilter().empty()) {
        lower_.resize(size);
        lowerInto(line, size, &lower_[0]);
        lowerCurrent_ = false;
        bool any = false;
        rules_->unscannedPrefilter().scan(lower_.data(), size, [&any](uint32_t) { any = true; });
        if (any) return false;
    }
    return true;
}

void LineScrubber::scrubLines(const std::string& block, const std::vector<LineSpan>& spans,
                              std::string& out) {
    const CandidateScanner* scanner = rules_->scanner();
    hits_.clear();
    size_t masked = 0;
    if (!scanner || !scanner->scan(block.data(), block.size(), scanScratch_, hits_)) {
        for (const LineSpan& span : spans) {
            line_.assign(block, span.offset, span.size);
            scrubLine(line_, nullptr, false);
            masked += lineMasked_;
            out += line_;
            out += '\n';
        }
        countMasked(masked);
        return;
    }
    size_t next = 0;
    for (const LineSpan& span : spans) {
        const size_t end = span.offset + span.size;
        lineLiterals_.clear();
        // Occurrences that end in this line; those that begin before it cross a line end and
        // are in no line.
        size_t tested = std::string::npos;  // block offset of the line's test text
        for (; next < hits_.size() && hits_[next].end <= end; ++next) {
            const CandidateScanner::Hit& hit = hits_[next];
            const size_t begin = hit.end - scanner->lengthOf(hit.pattern);
            if (begin < span.offset) continue;
            if (tested == std::string::npos)
                tested = span.offset + testTextOffset(block.data() + span.offset, span.size);
            lineLiterals_.push_back(scanner->ruleOf(hit.pattern) |
                                    (begin >= tested ? kBeginsInTestedText : 0));
        }
        if (span.size == 0 || untouched(block.data() + span.offset, span.size)) {
            out.append(block, span.offset, span.size);
        } else {
            line_.assign(block, span.offset, span.size);
            scrubLine(line_, &lineLiterals_, linePrepared_);
            masked += lineMasked_;
            out += line_;
        }
        out += '\n';
    }
    countMasked(masked);
}

}  // namespace scrub
