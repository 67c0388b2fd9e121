// Bookkeeping of masked ranges. A sorted vector is the ordered map here: a line holds a
// handful of ranges, and the storage is reused from line to line.
#include "scrub/PatternPositionTracker.h"

#include <algorithm>

namespace {

bool startLess(const PatternPositionTracker::Range& range, int position) {
    return range.first < position;
}

}  // namespace

PatternPositionTracker::Range PatternPositionTracker::_merge(int start1, int length1, int start2,
                                                             int length2) {
    const int end1 = start1 + length1;
    const int end2 = start2 + length2;
    if (start2 < start1 && end1 < end2) return {start2, length2};
    if (start1 < start2 && end2 < end1) return {start1, length1};
    if (start1 == start2) return {start1, std::max(length1, length2)};
    if (end1 == end2) {
        const int start = std::min(start1, start2);
        return {start, end2 - start};
    }
    if (start1 < start2) return {start1, end2 - start1};
    return {start2, end1 - start2};
}

bool PatternPositionTracker::_checkOverlap(int position, int length, const Range& range) {
    return position < range.first + range.second && range.first < position + length;
}

int PatternPositionTracker::predecessor(int position) const {
    auto after = std::upper_bound(ranges_.begin(), ranges_.end(), position,
                                  [](int p, const Range& r) { return p < r.first; });
    return static_cast<int>(after - ranges_.begin()) - 1;
}

bool PatternPositionTracker::checkOverlap(int position, int length) const {
    const int pred = predecessor(position);
    if (pred >= 0 && _checkOverlap(position, length, ranges_[pred])) return true;
    const size_t succ = static_cast<size_t>(pred + 1);
    return succ < ranges_.size() && _checkOverlap(position, length, ranges_[succ]);
}

void PatternPositionTracker::checkSeperator(int position, int length, bool& start,
                                            bool& end) const {
    const int pred = predecessor(position);
    const size_t succ = static_cast<size_t>(pred + 1);
    const bool hasSucc = succ < ranges_.size();
    if (pred >= 0 && _checkOverlap(position, length, ranges_[pred])) return;
    if (hasSucc && _checkOverlap(position, length, ranges_[succ])) return;
    if (pred >= 0 && ranges_[pred].first + ranges_[pred].second == position) start = true;
    if (hasSucc && ranges_[succ].first == position + length) end = true;
}

void PatternPositionTracker::insertPatternPosition(int position, int replacedLength,
                                                   int newLength) {
    const int p = position;
    const int delta = newLength - replacedLength;
    Range added{p, newLength};
    if (ranges_.empty()) {
        ranges_.push_back(added);
        return;
    }
    // The visit starts at the last range that begins before p, else at the first range.
    auto firstAtOrAfter = std::lower_bound(ranges_.begin(), ranges_.end(), p, startLess);
    size_t visit = static_cast<size_t>(firstAtOrAfter - ranges_.begin());
    if (visit > 0) --visit;

    // Each range from there on is visited once: kept in place (shifted when it lies after
    // p) or merged into the new range.
    visited_.assign(ranges_.begin() + static_cast<long>(visit), ranges_.end());
    ranges_.resize(visit);
    for (const Range& range : visited_) {
        int start = range.first;
        int length = range.second;
        if (start > p) {
            start += delta;
            if (start < p) {
                const int shiftedEnd = start + length;
                if (shiftedEnd <= p) continue;
                length = shiftedEnd - p;
                start = p;
            }
            if (_checkOverlap(added.first, added.second, {start, length}) ||
                added.first + added.second == start) {
                added = _merge(added.first, added.second, start, length);
            } else {
                ranges_.emplace_back(start, length);
            }
        } else if (start == p) {
            added.second = std::max(added.second, delta + length);
        } else if (!_checkOverlap(added.first, added.second, range)) {
            ranges_.push_back(range);
        } else {
            const int e = p - start;
            added.first = start;
            added.second = e + std::max(added.second, delta + length - e);
        }
    }
    // Store the new range in order, replacing a range with the same start.
    auto at = std::lower_bound(ranges_.begin(), ranges_.end(), added.first, startLess);
    if (at != ranges_.end() && at->first == added.first) {
        *at = added;
    } else {
        ranges_.insert(at, added);
    }
}
