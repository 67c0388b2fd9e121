// Scanning a text for the factors of a regex prefilter: where a search may begin.
#include <algorithm>
#include <cstring>

#include "scrub/RegexPrefilter.h"

namespace scrub {
namespace {

bool matchesAt(const FactorScan& scan, const std::string& text, size_t i) {
    if (i + scan.length > text.size()) return false;
    for (size_t k = 0; k < scan.length; ++k) {
        if (!scan.sets[k][static_cast<unsigned char>(text[i + k])]) return false;
    }
    return true;
}

// First position at or after from where the factor occurs, or npos.
size_t findFactor(const FactorScan& scan, const std::string& text, size_t from) {
    if (scan.anchorByte >= 0) {
        // Hop between occurrences of the factor's one fixed byte.
        const char* data = text.data();
        size_t at = from + scan.anchorAt;
        while (at < text.size()) {
            const void* hit = memchr(data + at, scan.anchorByte, text.size() - at);
            if (!hit) return std::string::npos;
            const size_t position = static_cast<size_t>(static_cast<const char*>(hit) - data);
            const size_t start = position - scan.anchorAt;
            if (matchesAt(scan, text, start)) return start;
            at = position + 1;
        }
        return std::string::npos;
    }
    for (size_t i = from; i + scan.length <= text.size(); ++i) {
        if (matchesAt(scan, text, i)) return i;
    }
    return std::string::npos;
}

}  // namespace

FactorScan prepareFactorScan(const RegexFactor& factor) {
    FactorScan scan;
    scan.length = factor.sets.size();
    scan.sets.resize(scan.length);
    for (size_t k = 0; k < scan.length; ++k) {
        for (size_t c = 0; c < 256; ++c) scan.sets[k][c] = factor.sets[k][c];
    }
    for (size_t k = 0; k < scan.length; ++k) {
        if (factor.sets[k].count() == 1) {
            for (int c = 0; c < 256; ++c) {
                if (factor.sets[k][static_cast<size_t>(c)]) scan.anchorByte = c;
            }
            scan.anchorAt = k;
            break;
        }
    }
    return scan;
}

size_t RegexPrefilter::skipTo(const std::string& text, size_t from) const {
    size_t latestEnd = from;  // every factor has been seen in full before this position
    size_t start = from;
    for (size_t f = 0; f < scans_.size(); ++f) {
        const size_t at = findFactor(scans_[f], text, from);
        if (at == std::string::npos) return std::string::npos;
        latestEnd = std::max(latestEnd, at + scans_[f].length);
        // A match holds the factor at most maxOffset bytes in, and no earlier occurrence
        // than this one: it cannot begin more than maxOffset bytes before it.
        const long offset = factors_[f].maxOffset;
        if (offset >= 0 && at > from + static_cast<size_t>(offset)) {
            start = std::max(start, at - static_cast<size_t>(offset));
        }
    }
    if (maxLength_ < 0) return start;
    const size_t reach = static_cast<size_t>(maxLength_);
    return latestEnd > start + reach ? latestEnd - reach : start;
}

}  // namespace scrub
