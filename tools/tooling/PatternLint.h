// Checks of a scrub patterns file that the library itself does not make, for a person writing
// one: expressions that do not compile (the rule would withhold every line it is tried on),
// hints holding characters the expression never names (the rule then runs only on lines that
// happen to hold them, and silently misses the others), empty values, and a masked name given
// to two values, or a value listed twice.
#pragma once

#include <string>
#include <vector>

namespace tooling {

struct PatternFinding {
    size_t line = 0;
    bool error = false;  // false: a warning
    std::string message;
};

std::vector<PatternFinding> lintPatterns(const std::string& text);

}  // namespace tooling
