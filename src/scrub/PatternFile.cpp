// Loader of the scrub patterns file.
#include "scrub/PatternFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/FileHandle.h"
#include "host/Log.h"
#include "scrub/BitMap.h"

namespace {

const char* const kTag =
    "int populateScrubPatternsFromFile(std::string, std::vector<std::pair<std::string, "
    "ScrubPatternConfig_t> >&, std::map<std::string, std::string>&)";

// Reads one line of at most limit bytes (without its "\n") into line. Longer lines are read
// to their end and reported through tooLong. False at the end of the file or on an error.
bool readLine(FILE* file, size_t limit, std::string& line, bool& endedWithNewline, bool& tooLong) {
    line.clear();
    endedWithNewline = false;
    tooLong = false;
    int c;
    bool any = false;
    while ((c = getc(file)) != EOF) {
        any = true;
        if (c == '\n') {
            endedWithNewline = true;
            break;
        }
        if (line.size() < limit) {
            line.push_back(static_cast<char>(c));
        } else {
            tooLong = true;
        }
    }
    return any;
}

}  // namespace

namespace scrub {

PatternRecordStatus addPatternRecord(const std::string& record, ScrubRuleList& rules,
                                     ReplacementMap& replacements) {
    const size_t separator = record.find(kPatternSeparator);
    if (separator == std::string::npos) {
        if (record.size() > kMaxPatternField) return PatternRecordStatus::FieldTooLong;
        rules.emplace_back(toLowerStr(record), createIgnoreCaseScrubPatternConfig(record, false));
        return PatternRecordStatus::Added;
    }
    const std::string value = record.substr(0, separator);
    const std::string second = record.substr(separator + strlen(kPatternSeparator));
    // An empty value would be a rule that matches everywhere.
    if (value.empty()) return PatternRecordStatus::EmptyValue;
    if (value.size() > kMaxPatternField || second.size() > kMaxPatternField) {
        return PatternRecordStatus::FieldTooLong;
    }
    if (second.compare(0, strlen(kRegexMarker), kRegexMarker) == 0) {
        const std::string hint = second.substr(strlen(kRegexMarker));
        rules.emplace_back(value, createIgnoreCaseScrubPatternConfig(hint, true));
        return PatternRecordStatus::Added;
    }
    const std::string key = toLowerStr(value);
    rules.emplace_back(key, createIgnoreCaseScrubPatternConfig(value, false));
    replacements.emplace(key, second);  // the first name given to a value stays
    return PatternRecordStatus::Added;
}

}  // namespace scrub

int populateScrubPatternsFromFile(std::string path, ScrubRuleList& rules,
                                  ReplacementMap& replacements) {
    EvDebug log;
    if (path.empty()) {
        log.Error(kTag, "Empty string passed as scrub patterns file.");
        return -1;
    }
    log.Debug(kTag, "Reading scrub patterns from file:[%s]", path.c_str());
    host::FileHandle handle = host::FileHandle::open(path.c_str(), "r");
    FILE* file = handle.get();
    if (!file) {
        log.Error(kTag, "Could not open scrub patterns file [%s] . Will ignore scrubing rules.",
                  path.c_str());
        return -1;
    }
    std::string line;
    bool newline = false;
    bool tooLong = false;
    size_t lineNumber = 0;
    while (readLine(file, scrub::kMaxPatternLine, line, newline, tooLong)) {
        ++lineNumber;
        if (tooLong) {
            // Values are never logged: they are what the file keeps out of the logs.
            log.Error(kTag,
                      "Line %zu of scrub patterns file [%s] is longer than %zu bytes; it is "
                      "ignored.",
                      lineNumber, path.c_str(), scrub::kMaxPatternLine);
            continue;
        }
        if (newline && !line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        switch (scrub::addPatternRecord(line, rules, replacements)) {
            case scrub::PatternRecordStatus::Added:
                if (line.find(scrub::kPatternSeparator) == std::string::npos) {
                    log.DebugLvl(kTag, 5, "Adding scrub ");
                }
                break;
            case scrub::PatternRecordStatus::EmptyValue:
                log.Error(kTag,
                          "Line %zu of scrub patterns file [%s] has an empty value; it is "
                          "ignored.",
                          lineNumber, path.c_str());
                break;
            case scrub::PatternRecordStatus::FieldTooLong:
                log.Error(kTag,
                          "Line %zu of scrub patterns file [%s] has a field longer than %zu "
                          "bytes; it is ignored.",
                          lineNumber, path.c_str(), scrub::kMaxPatternField);
                break;
        }
    }
    const bool readError = ferror(file) != 0;
    const int savedErrno = errno;
    if (readError) {
        // The rules read so far stay (masking more is safer than less), but the caller must
        // know that the file was not read to its end.
        log.Error(kTag, "error while reading scrub patterns file [%s]: %s", path.c_str(),
                  strerror(savedErrno));
        return -1;
    }
    return 0;
}
