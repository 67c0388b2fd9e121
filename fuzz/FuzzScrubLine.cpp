// Differential fuzz target: patterns file, empty line, lines to scrub; every library path must
// give the reference scrubber's lines and map.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "ReferenceScrubber.h"
#include "scrub/LineScrubber.h"
#include "scrub/PatternFile.h"
#include "scrub/ScrubLogLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find("\n\n");
    const std::string patterns = input.substr(0, split);
    const std::string lines = split == std::string::npos ? "" : input.substr(split + 2);

    ScrubRuleList rules;
    ReplacementMap seed;
    size_t start = 0;
    while (start < patterns.size() && rules.size() < 16) {
        size_t end = patterns.find('\n', start);
        if (end == std::string::npos) end = patterns.size();
        const std::string record = patterns.substr(start, end - start);
        if (!record.empty()) scrub::addPatternRecord(record, rules, seed);
        start = end + 1;
    }
    ReplacementMap refMap = seed, apiMap = seed, engineMap = seed, blockMap = seed;
    auto compiled = std::make_shared<const scrub::CompiledRules>(rules);
    scrub::LineScrubber engine(compiled, scrub::NameSource(&engineMap));
    scrub::LineScrubber blockEngine(compiled, scrub::NameSource(&blockMap));
    std::string block, expectedBlock;
    std::vector<scrub::LineSpan> spans;
    start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        const std::string line = lines.substr(start, std::min<size_t>(end - start, 4096));
        std::string expected = line, viaApi = line, viaEngine = line;
        const bool clean = reference::scrubLine(expected, &rules, &refMap);
        const bool apiClean = scrubLogLine(viaApi, &rules, &apiMap) == 0;
        const bool engineClean = engine.scrub(viaEngine);
        // A line a side could not scrub is withheld whole, never half masked.
        check(apiClean || viaApi.rfind("Masked_RedactedLine", 0) == 0);
        check(engineClean || viaEngine.rfind("Masked_RedactedLine", 0) == 0);
        // After a give-up the sides may differ: nothing more to compare.
        if (!clean || !apiClean || !engineClean) return 0;
        check(expected == viaApi);
        check(expected == viaEngine);
        check(refMap == apiMap && refMap == engineMap);
        spans.push_back({block.size(), line.size()});
        block += line + "\n";
        expectedBlock += expected + "\n";
        start = end + 1;
    }
    std::string actualBlock;
    blockEngine.scrubLines(block, spans, actualBlock);
    if (blockEngine.redactedLines() > 0) return 0;
    check(expectedBlock == actualBlock);
    check(refMap == blockMap);
    return 0;
}
