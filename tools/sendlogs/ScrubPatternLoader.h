// Loading of the scrub patterns file named on the command line into a request's rule list
// and replacement map.
#pragma once

#include <optional>
#include <string>

#include "scrub/ScrubRule.h"

namespace cli {

// Nothing to do without a file. The path is made absolute, since the library hands it on to
// other programs. False with a reason when the file cannot be read to its end.
bool loadScrubPatterns(std::optional<std::string>& path, ScrubRuleList& rules,
                       ReplacementMap& replacements, std::string& error);

// "scrub --check-patterns": prints the findings of the file, one per line; 0 when none is an
// error, 2 otherwise (1 when the file cannot be read).
int checkPatternsFile(const std::string& path, bool quiet);

}  // namespace cli
