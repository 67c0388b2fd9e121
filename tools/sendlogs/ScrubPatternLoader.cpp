// Scrub patterns file of "collect".
#include "ScrubPatternLoader.h"

#include <filesystem>

#include "scrub/PatternFile.h"

namespace cli {

bool loadScrubPatterns(std::optional<std::string>& path, ScrubRuleList& rules,
                       ReplacementMap& replacements, std::string& error) {
    if (!path) return true;
    std::error_code ec;
    path = std::filesystem::absolute(*path, ec).lexically_normal().string();
    if (populateScrubPatternsFromFile(*path, rules, replacements) != 0) {
        error = "cannot read the scrub patterns file " + *path;
        return false;
    }
    return true;
}

}  // namespace cli
