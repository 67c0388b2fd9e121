// Masked-name lookup on the replacement map.
#include "scrub/MaskedNames.h"

#include <cstdio>

#include "scrub/BitMap.h"
#include "scrub/ScrubConstants.h"

namespace scrub {

const std::string& findOrInsertMaskedName(const std::string& text, ReplacementMap& map) {
    auto found = map.lower_bound(text);
    if (found != map.end() && found->first == text) return found->second;
    // Entries are never removed during a request, so the size never repeats a number.
    char number[32];
    snprintf(number, sizeof number, "%zd", static_cast<ssize_t>(map.size()));
    return map.emplace_hint(found, text, defaultScrubbingReplaceStr + number)->second;
}

std::string NameSource::lookup(const std::string& text) const {
    if (!map_) return std::string();
    if (!lock_) return findOrInsertMaskedName(text, *map_);
    std::lock_guard<std::mutex> guard(*lock_);
    return findOrInsertMaskedName(text, *map_);
}

}  // namespace scrub

std::string searchAndUpdateReplaceStringMap(std::string text, ReplacementMap* replacements) {
    if (!replacements) return std::string();
    // The key is always the lower-case form, so a later lookup of the same value finds the
    // name this call hands out.
    return scrub::findOrInsertMaskedName(toLowerStr(text), *replacements);
}
