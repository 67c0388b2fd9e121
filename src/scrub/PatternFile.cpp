// Loader of the scrub patterns file.
#include "scrub/PatternFile.h"

#include <sys/stat.h>

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
    // Only a regular file is read, and the open does not wait on a FIFO or a device.
    bool notRegular = false;
    struct stat st;
    host::FileHandle handle = host::FileHandle::openRegular(path.c_str(), &notRegular, &st);
    FILE* file = handle.get();
    if (!file) {
        log.Error(kTag, "Could not open scrub patterns file [%s] . Will ignore scrubing rules.",
                  path.c_str());
        if (notRegular) log.Error(kTag, "[%s] is not a regular file.", path.c_str());
        return -1;
    }
    if (static_cast<unsigned long long>(st.st_size) > scrub::kMaxPatternFileBytes) {
        log.Error(kTag, "Scrub patterns file [%s] is larger than %zu bytes; it is refused.",
                  path.c_str(), scrub::kMaxPatternFileBytes);
        return -1;
    }
    std::string line;
    bool newline = false;
    bool tooLong = false;
    size_t lineNumber = 0;
    size_t problems = 0;
    auto logProblem = [&](const char* what, size_t limit) {
        if (++problems > scrub::kMaxPatternProblemsLogged) return;
        // Values are never logged: they are what the file keeps out of the logs.
        log.Error(kTag, "Line %zu of scrub patterns file [%s] %s %zu bytes; it is ignored.",
                  lineNumber, path.c_str(), what, limit);
    };
    while (readLine(file, scrub::kMaxPatternLine, line, newline, tooLong)) {
        ++lineNumber;
        // A file that grows while it is read (or reports no size) is still bounded.
        if (static_cast<unsigned long long>(ftello(file)) > scrub::kMaxPatternFileBytes) {
            log.Error(kTag, "Scrub patterns file [%s] is larger than %zu bytes; it is refused.",
                      path.c_str(), scrub::kMaxPatternFileBytes);
            return -1;
        }
        if (tooLong) {
            logProblem("is longer than", scrub::kMaxPatternLine);
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
                if (++problems <= scrub::kMaxPatternProblemsLogged)
                    log.Error(kTag,
                              "Line %zu of scrub patterns file [%s] has an empty value; it is "
                              "ignored.",
                              lineNumber, path.c_str());
                break;
            case scrub::PatternRecordStatus::FieldTooLong:
                logProblem("has a field longer than", scrub::kMaxPatternField);
                break;
        }
    }
    if (problems > scrub::kMaxPatternProblemsLogged) {
        log.Error(kTag, "Scrub patterns file [%s]: %zu further lines were ignored likewise.",
                  path.c_str(), problems - scrub::kMaxPatternProblemsLogged);
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
