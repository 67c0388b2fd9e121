// Patterns of the candidate scanner. Every pattern is written byte by byte as a hexadecimal
// escape, so no rule text is ever read as scanner syntax. The scanner reads the lines as they
// are (not lower-cased): a letter is the class of its two cases.
#include "scrub/CandidateScanner.h"

#include <hs/hs.h>

#include <algorithm>
#include <cstdio>

#include "host/Log.h"
#include "scrub/CompiledRules.h"

namespace scrub {
namespace {

const char* const kTag = "CandidateScanner";

std::string escaped(unsigned char c) {
    char text[8];
    snprintf(text, sizeof text, "\\x%02x", c);
    return text;
}

// A literal rule's text as it occurs in a line, in any case; false when it cannot occur in a
// lower-cased line at all (it holds a capital letter).
bool literalExpression(const std::string& text, std::string& out) {
    out.clear();
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 'A' && c <= 'Z') return false;
        if (c >= 'a' && c <= 'z') {
            out += "[" + escaped(c) + escaped(static_cast<unsigned char>(c - 'a' + 'A')) + "]";
        } else {
            out += escaped(c);
        }
    }
    return true;
}

int onMatch(unsigned int id, unsigned long long /*from*/, unsigned long long to,
            unsigned int /*flags*/, void* context) {
    static_cast<std::vector<CandidateScanner::Hit>*>(context)->push_back(
        {static_cast<uint32_t>(to), id});
    return 0;
}

struct Expression {
    std::string text;
    uint32_t rule;
    uint32_t length;
};

// Compiles what it can: an expression the scanner refuses is dropped, and its rule falls
// back to the prefilters. Null when nothing is left or the scanner fails as a whole.
hs_database_t* compile(std::vector<Expression>& expressions) {
    while (!expressions.empty()) {
        std::vector<const char*> texts;
        std::vector<unsigned> flags(expressions.size(), 0);
        std::vector<unsigned> ids;
        for (size_t i = 0; i < expressions.size(); ++i) {
            texts.push_back(expressions[i].text.c_str());
            ids.push_back(static_cast<unsigned>(i));
        }
        hs_database_t* database = nullptr;
        hs_compile_error_t* error = nullptr;
        if (hs_compile_multi(texts.data(), flags.data(), ids.data(),
                             static_cast<unsigned>(texts.size()), HS_MODE_BLOCK, nullptr, &database,
                             &error) == HS_SUCCESS) {
            return database;
        }
        const int failed = error ? error->expression : -1;
        EvDebug log;
        log.DebugLvl(kTag, 2, "The scanner refused pattern %d (%s); its rule is prefiltered.",
                     failed, error && error->message ? error->message : "no reason");
        hs_free_compile_error(error);
        if (failed < 0 || static_cast<size_t>(failed) >= expressions.size()) return nullptr;
        expressions.erase(expressions.begin() + failed);
    }
    return nullptr;
}

}  // namespace

CandidateScanner::Scratch::~Scratch() {
    if (scratch_) hs_free_scratch(scratch_);
}

std::unique_ptr<CandidateScanner> CandidateScanner::build(const std::vector<CompiledRule>& rules,
                                                          bool (*refuse)(const std::string&)) {
    std::vector<Expression> expressions;
    std::unique_ptr<CandidateScanner> scanner(new CandidateScanner());
    scanner->scannedLiteral_.assign(rules.size(), false);
    std::vector<bool> neverOccurs(rules.size(), false);
    for (size_t r = 0; r < rules.size(); ++r) {
        const CompiledRule& rule = rules[r];
        const uint32_t index = static_cast<uint32_t>(r);
        if (rule.broken || rule.isRegex) continue;
        if (rule.text.empty() || rule.text.size() > kMaxScannedLiteral) continue;
        std::string text;
        if (!literalExpression(rule.text, text)) {
            neverOccurs[r] = true;
            continue;
        }
        expressions.push_back({text, index, static_cast<uint32_t>(rule.text.size())});
    }
    if (refuse) {
        expressions.erase(std::remove_if(expressions.begin(), expressions.end(),
                                         [&](const Expression& e) { return refuse(e.text); }),
                          expressions.end());
    }
    if (!expressions.empty()) {
        scanner->database_ = compile(expressions);
        if (!scanner->database_) return nullptr;
    }
    for (size_t p = 0; p < expressions.size(); ++p) {
        const Expression& e = expressions[p];
        scanner->patterns_.push_back({e.rule, e.length});
        scanner->scannedLiteral_[e.rule] = true;
    }
    for (size_t r = 0; r < rules.size(); ++r)
        if (neverOccurs[r]) scanner->scannedLiteral_[r] = true;
    return scanner;
}

CandidateScanner::~CandidateScanner() {
    if (database_) hs_free_database(database_);
}

bool CandidateScanner::scan(const char* data, size_t size, Scratch& scratch,
                            std::vector<Hit>& hits) const {
    if (!database_) return true;
    if (!scratch.scratch_ && hs_alloc_scratch(database_, &scratch.scratch_) != HS_SUCCESS) {
        return false;
    }
    const size_t first = hits.size();
    if (hs_scan(database_, data, static_cast<unsigned>(size), 0, scratch.scratch_, &onMatch,
                &hits) != HS_SUCCESS) {
        return false;
    }
    auto byEnd = [](const Hit& a, const Hit& b) { return a.end < b.end; };
    if (!std::is_sorted(hits.begin() + static_cast<long>(first), hits.end(), byEnd)) {
        std::stable_sort(hits.begin() + static_cast<long>(first), hits.end(), byEnd);
    }
    return true;
}

}  // namespace scrub
