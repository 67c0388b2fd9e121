// Reading tar bundles in tests with the system tar: member names and member texts.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "host/Process.h"
#include "support/TestEnv.h"

namespace tartest {

// Member names in archive order; empty when the bundle cannot be read.
inline std::vector<std::string> members(const std::string& bundle) {
    std::string out;
    if (WyProcess::system(("tar tf " + host::shellQuote(bundle)).c_str(), &out, nullptr) != 0)
        return {};
    return testenv::splitLines(out);
}

inline std::vector<std::string> endingWith(const std::vector<std::string>& names,
                                           const std::string& suffix) {
    std::vector<std::string> found;
    for (const std::string& name : names)
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(name);
    return found;
}

inline bool has(const std::vector<std::string>& names, const std::string& suffix) {
    return !endingWith(names, suffix).empty();
}

inline std::string text(const std::string& bundle, const std::string& member) {
    std::string out;
    WyProcess::system(
        ("tar xOf " + host::shellQuote(bundle) + " " + host::shellQuote(member)).c_str(), &out,
        nullptr);
    return out;
}

}  // namespace tartest
