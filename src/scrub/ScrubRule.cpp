// Rule records.
#include "scrub/ScrubRule.h"

ScrubPatternConfig_t createIgnoreCaseScrubPatternConfig(const std::string& text, bool isRegex) {
    ScrubPatternConfig_t config;
    config.charSet = createIgnoreCaseBitMap(text);
    config.isRegex = isRegex;
    return config;
}
