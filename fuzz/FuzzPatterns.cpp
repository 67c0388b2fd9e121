// Fuzz target of the patterns file loader: any file loads into well-formed rules.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "FuzzTarget.h"
#include "scrub/BitMap.h"
#include "scrub/PatternFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The loader reads a path: the input goes into a memory file, named through /proc.
    const int fd = memfd_create("patterns", MFD_CLOEXEC);
    if (fd < 0) return 0;
    const bool written = write(fd, data, size) == static_cast<ssize_t>(size);
    ScrubRuleList rules;
    ReplacementMap map;
    const int loaded =
        written ? populateScrubPatternsFromFile("/proc/self/fd/" + std::to_string(fd), rules, map)
                : 0;
    close(fd);
    check(loaded == 0);
    for (const auto& [text, config] : rules) {
        check(!text.empty() && text.size() <= scrub::kMaxPatternField);
        if (!config.isRegex) {
            check(text == toLowerStr(text));
            check(config.charSet == createIgnoreCaseBitMap(text));
        }
    }
    for (const auto& [key, name] : map) {
        check(key == toLowerStr(key) && !key.empty());
        check(name.size() <= scrub::kMaxPatternField);
    }
    return 0;
}
