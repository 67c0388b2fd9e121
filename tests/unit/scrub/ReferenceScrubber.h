// A plain line scrubber with no caching or prefilter, for the differential tests.
#pragma once

#include <map>
#include <string>

#include "scrub/ScrubRule.h"

namespace reference {

// The tracker of masked ranges as an ordered map from start to length.
class Tracker {
  public:
    void insert(int p, int n, int m);
    bool overlap(int p, int n) const;
    void separators(int p, int n, bool& start, bool& end) const;
    const std::map<int, int>& ranges() const { return ranges_; }

  private:
    std::map<int, int> ranges_;
};

// False when a rule gave up while matching: the line is then withheld whole.
bool scrubLine(std::string& line, const ScrubRuleList* rules, ReplacementMap* map);

}  // namespace reference
