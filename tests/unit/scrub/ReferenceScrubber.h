// A plain line scrubber written straight from the rules of line masking, with no caching, no
// prefilter and an std::map range tracker. The library's scrubber must give the same lines
// and the same replacement map; the differential tests compare the two.
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

// False when a rule failed while matching (the regex engine gave up on a pathological
// expression): the line is then withheld whole ("Masked_RedactedLine").
bool scrubLine(std::string& line, const ScrubRuleList* rules, ReplacementMap* map);

}  // namespace reference
