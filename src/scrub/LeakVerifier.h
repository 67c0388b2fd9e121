// The one definition of a leak: a result (a bundle, a folder, a dump) leaks when any of its
// files or archive members still holds a rule's value. Deliberately stricter than the
// scrubber and independent of its code: a literal value counts in any case, anywhere in a
// line (not only as a whole word), and also in its URL-escaped form; a regex rule counts
// wherever it matches the lower-cased line. Masked names are not values: they are blanked
// out before the search. What cannot be read is never clean.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scrub/ScrubRule.h"

namespace scrub {

struct LeakFinding {
    std::string member;  // file below the checked folder, "<archive>!<member>" inside archives
    size_t line = 0;     // from 1
    size_t rule = 0;     // the rule's number in the list, from 1
};

struct LeakReport {
    std::vector<LeakFinding> findings;
    // What could not be read or checked, with the reason.
    std::vector<std::pair<std::string, std::string>> unreadable;
    size_t members = 0;  // files and members read

    // 0 clean, 1 a finding, 2 nothing found but something could not be read or checked.
    int status() const;
};

class LeakVerifier {
  public:
    // rules: as loaded from a patterns file; replacements: its named masked names.
    LeakVerifier(const ScrubRuleList& rules, const ReplacementMap& replacements);
    ~LeakVerifier();
    LeakVerifier(const LeakVerifier&) = delete;
    LeakVerifier& operator=(const LeakVerifier&) = delete;

    // Every file and member below path (a file, a folder, an archive).
    LeakReport verify(const std::string& path);
    // The rules (numbers from 1) whose value occurs in one line; false when a rule could not
    // be checked on it.
    bool rulesFoundIn(const std::string& line, std::vector<size_t>& found);

  private:
    struct Rules;
    std::unique_ptr<Rules> rules_;
};

}  // namespace scrub
