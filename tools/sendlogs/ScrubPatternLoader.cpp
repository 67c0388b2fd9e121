// Scrub patterns file of "collect".
#include "ScrubPatternLoader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliSupport.h"
#include "scrub/PatternFile.h"
#include "tooling/PatternLint.h"

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

int checkPatternsFile(const std::string& path, bool quiet) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    if (in) content << in.rdbuf();
    const std::string text = content.str();
    if (!in.is_open() || in.bad()) {
        printError("cannot read " + path + ": " + std::strerror(errno));
        return kExitFailed;
    }
    size_t errors = 0;
    const std::vector<tooling::PatternFinding> findings = tooling::lintPatterns(text);
    for (const tooling::PatternFinding& f : findings) {
        errors += f.error ? 1 : 0;
        std::printf("%s:%zu: %s: %s\n", path.c_str(), f.line, f.error ? "error" : "warning",
                    f.message.c_str());
    }
    if (!quiet)
        std::printf("scrub: %s: %zu error(s), %zu warning(s)\n", path.c_str(), errors,
                    findings.size() - errors);
    return errors == 0 ? kExitOk : kExitUsage;
}

}  // namespace cli
