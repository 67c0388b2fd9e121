// Fuzz target of the patterns file loader: any file loads without a crash, and the rules it
// makes are well formed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/Log.h"
#include "scrub/BitMap.h"
#include "scrub/PatternFile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    host::setLogFilePath("");
    return 0;
}

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// The loader reads a path: each input goes into its own scratch file, removed afterwards.
struct ScratchFile {
    std::string path;
    explicit ScratchFile(const std::string& bytes) {
        const char* dir = getenv("TMPDIR");
        path = std::string(dir && *dir ? dir : "/tmp") + "/fuzz-patterns-XXXXXX";
        const int fd = mkstemp(&path[0]);
        if (fd < 0) {
            path.clear();
            return;
        }
        const bool written =
            write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        close(fd);
        if (!written) {
            unlink(path.c_str());
            path.clear();
        }
    }
    ~ScratchFile() {
        if (!path.empty()) unlink(path.c_str());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ScratchFile file(std::string(reinterpret_cast<const char*>(data), size));
    if (file.path.empty()) return 0;
    const std::string& path = file.path;

    ScrubRuleList rules;
    ReplacementMap map;
    check(populateScrubPatternsFromFile(path, rules, map) == 0);
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
