// Masked names: the lookup that gives every value one masked name for the whole request.
#pragma once

#include <mutex>
#include <string>

#include "host/Export.h"
#include "scrub/ScrubRule.h"

// The masked name of text: the map's name for its lower-case form, else a new name
// "MaskedData<n>" (n: the map's size before the insertion), stored and returned. A null map
// gives the empty name.
SL_API std::string searchAndUpdateReplaceStringMap(std::string text, ReplacementMap* replacements);

namespace scrub {

// The replacement map as the line scrubber sees it: the request's own map, or the copy a tree
// scrub shares between its workers, whose find-or-insert then runs under the scrub's lock.
class NameSource {
  public:
    explicit NameSource(ReplacementMap* map, std::mutex* lock = nullptr) : map_(map), lock_(lock) {}
    // text must already be lower case.
    std::string lookup(const std::string& text) const;
    bool hasMap() const { return map_ != nullptr; }
    ReplacementMap* map() const { return map_; }

  private:
    ReplacementMap* map_;
    std::mutex* lock_;
};

// The find-or-insert itself; text is lower case and map is not null.
const std::string& findOrInsertMaskedName(const std::string& text, ReplacementMap& map);

}  // namespace scrub
