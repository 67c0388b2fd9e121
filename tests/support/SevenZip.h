// The system's 7-Zip program, for tests that check archives with the tool a reader would use.
#pragma once

#include <set>
#include <string>

#include "host/Process.h"
#include "support/TestEnv.h"

namespace testenv {

// "7z", "7zz" or "7za", whichever is installed; empty when none is.
inline std::string sevenZip() {
    for (const char* name : {"7z", "7zz", "7za"})
        if (haveProgram(name)) return name;
    return "";
}

inline std::set<std::string> sevenZipMembers(const std::string& archive) {
    std::set<std::string> names;
    const std::string listing =
        output(sevenZip() + " l -slt " + host::shellQuote(archive) + " 2>/dev/null");
    for (const std::string& line : splitLines(listing))
        if (line.rfind("Path = ", 0) == 0 && line.substr(7) != archive)
            names.insert(line.substr(7));
    return names;
}

// Extracts the archive (its first volume for a split one) into folder; true on success.
inline bool sevenZipExtract(const std::string& archive, const std::string& folder) {
    return runShell(sevenZip() + " x -y -o" + host::shellQuote(folder) + " " +
                    host::shellQuote(archive) + " >/dev/null") == 0;
}

}  // namespace testenv
