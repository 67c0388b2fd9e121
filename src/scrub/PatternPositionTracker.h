// The ranges of one line that hold masked names, kept while the rules of one line run, so
// that literal rules never match inside masked text and a masked name works as a word
// boundary next to it.
#pragma once

#include <utility>
#include <vector>

class PatternPositionTracker {
  public:
    using Range = std::pair<int, int>;  // start, length

    // A replacement of replacedLength bytes at position by newLength bytes: later ranges move
    // by the difference, and the new range is merged with the ranges it touches.
    void insertPatternPosition(int position, int replacedLength, int newLength);
    // The span overlaps the predecessor or the successor of position.
    bool checkOverlap(int position, int length) const;
    // Unless the span overlaps a neighbour: start is set when the predecessor ends at
    // position, end when the successor begins where the span ends. Flags are only set.
    void checkSeperator(int position, int length, bool& start, bool& end) const;

    static Range _merge(int start1, int length1, int start2, int length2);
    static bool _checkOverlap(int position, int length, const Range& range);

    // Ordered by start, disjoint.
    const std::vector<Range>& ranges() const { return ranges_; }
    bool empty() const { return ranges_.empty(); }
    // Forgets the ranges and keeps the storage, for the next line.
    void clear() { ranges_.clear(); }

  private:
    // Index of the range with the greatest start <= position, or -1.
    int predecessor(int position) const;
    std::vector<Range> ranges_;
    std::vector<Range> visited_;  // scratch of insertPatternPosition
};
