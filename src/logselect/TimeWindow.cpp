// Time-window extraction and the byte range of a window.
#include "logselect/TimeWindow.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "host/FileHandle.h"
#include "host/Log.h"
#include "logselect/DumpWriter.h"
#include "logselect/EntryFields.h"
#include "logselect/ExtractorErrors.h"
#include "logselect/LineClock.h"
#include "logselect/LogLineGrammar.h"
#include "logselect/LogSource.h"
#include "logselect/PieceReader.h"

using logselect::DumpWriter;
using logselect::EntryFields;
using logselect::LogSource;
using logselect::Piece;
using logselect::PieceReader;

namespace {

const char kByTimeSignature[] =
    "bool getLogFilesByTime(FILE*, std::string, std::string, time_t, time_t, const char*, "
    "std::string, bool, ScrubRuleList*, ReplacementMap*)";
const char kHeaderDatePattern[] = "* Date       : %d";
constexpr unsigned kTimeFields = logselect::kField3 | logselect::kField4;
// Probes read only a few lines; a small block keeps them cheap.
constexpr size_t kProbeBlock = 64 * 1024;

// The year of a header date line, or false when the piece does not match.
bool headerYear(const Piece& piece, int& year) {
    char line[kLogLineBufferSize];
    size_t size = piece.size < sizeof line - 1 ? piece.size : sizeof line - 1;
    memcpy(line, piece.data, size);
    line[size] = '\0';
    return sscanf(line, kHeaderDatePattern, &year) == 1;
}

// Month, day, hour, minute and second of an entry; false when a field does not scan.
bool entryTime(const EntryFields& f, int (&when)[5]) {
    return logselect::scanSeparated(f.date(), '/', when, 2) &&
           logselect::scanSeparated(f.time(), ':', when + 2, 3);
}

enum class WindowRead { Whole, BadTime, ReadFailed };

// Copies the lines of the window after the six header lines.
WindowRead copyWindow(FILE* in, logselect::DumpWriter& writer, const char* fileName,
                      time_t fromTime, time_t toTime) {
    PieceReader reader(in, 0);
    Piece piece;
    int headerLines = 0;
    int year = logselect::LineClock::currentYear();
    while (headerLines < 6 && reader.next(piece)) {
        if (++headerLines == 6 && !headerYear(piece, year))
            year = logselect::LineClock::currentYear();
    }
    if (headerLines < 6) return reader.failed() ? WindowRead::ReadFailed : WindowRead::Whole;

    logselect::LineClock clock;
    EntryFields f;
    bool taken = false;
    int previousMonth = 0;
    while (reader.next(piece)) {
        if (logselect::isEntryStart(piece.data[0])) {
            // A continuation line keeps the decision of the entry it continues.
            taken = false;
            if (!cutEntryFields(piece.data, piece.size, f, kTimeFields, piece.readable)) continue;
            int when[5];
            if (!entryTime(f, when)) {
                EvDebug log;
                log.Error("getLogFilesByTime", "Bad time format in log file [%s]", fileName);
                return WindowRead::BadTime;
            }
            if (when[0] < previousMonth) ++year;
            previousMonth = when[0];
            time_t t = clock.at(year, when[0], when[1], when[2], when[3], when[4]);
            taken = (fromTime == 0 || t >= fromTime) && (toTime == 0 || t <= toTime);
        }
        if (taken) writer.take(piece);
    }
    if (reader.failed()) {
        printErrorMsg(kByTimeSignature);
        return WindowRead::ReadFailed;
    }
    return WindowRead::Whole;
}

// One bisection for target over [0, size). startBound: find where lines at or after target
// begin; otherwise where lines after target begin. False when the probe must be abandoned.
bool bisect(FILE* in, long long size, time_t target, bool startBound, long long& low,
            long long& high) {
    int year = logselect::LineClock::currentYear();
    logselect::LineClock clock;
    EntryFields f;
    low = 0;
    high = size;
    for (int step = 0; step < 4 && low < high; ++step) {
        long long probe = (low + high) / 2;
        if (fseeko(in, (off_t)probe, SEEK_SET) != 0) return false;
        PieceReader reader(in, probe, kProbeBlock);
        Piece piece;
        if (!reader.next(piece)) return false;  // the rest of the line the probe fell into
        long long p = piece.end();
        bool found = false;
        while (p < high && reader.next(piece)) {
            p = piece.end();
            if (logselect::isEntryStart(piece.data[0]) &&
                cutEntryFields(piece.data, piece.size, f, kTimeFields, piece.readable)) {
                found = true;
                break;
            }
        }
        if (!found || p >= high) return false;
        int when[5];
        if (!entryTime(f, when)) return false;
        time_t t = clock.at(year, when[0], when[1], when[2], when[3], when[4]);
        // An entry exactly at the start of the window belongs to it, so it bounds from above.
        bool targetFirst = startBound ? target <= t : target < t;
        if (targetFirst)
            high = p - 1;
        else
            low = p + 1;
    }
    return true;
}

}  // namespace

namespace logselect {

bool extractWindowFile(FILE* out, const std::string& logDir, const std::string& fileName,
                       time_t fromTime, time_t toTime, const char* machineName,
                       const std::string& searchText, bool scrub, ScrubRuleList* scrubRules,
                       ReplacementMap* replacements, ExtractionTally& tally) {
    // Lines carry whole seconds; the window is widened to whole minutes.
    if (fromTime > 0) fromTime = fromTime / 60 * 60;
    if (toTime > 0) toTime = (toTime / 60 + 1) * 60 - 1;

    LogSource source(logDir, fileName);
    const LogSource::Status status = source.open({"getLogFilesByTime", true, kByTimeSignature});
    if (status != LogSource::Status::Open) return countUnopened(status, fileName, tally);
    WindowRead read = WindowRead::ReadFailed;
    DumpWriter writer(out, machineName, fileName.c_str(), searchText, scrub, scrubRules,
                      replacements);
    try {
        read = copyWindow(source.file(), writer, fileName.c_str(), fromTime, toTime);
    } catch (...) {
        logLoopException("getLogFilesByTime");
    }
    writer.finish();
    tally.redactedLines += writer.redactedLines();
    EvDebug log;
    if (writer.writeFailed()) {
        tally.writeFailed = true;
        log.Error("getLogFilesByTime", "Failed to write the lines of [%s] into the dump: %s",
                  fileName.c_str(), strerror(writer.writeError()));
    }
    if (read == WindowRead::BadTime) tally.stopped.push_back(fileName);
    if (read == WindowRead::ReadFailed) {
        log.Error("getLogFilesByTime", "Log file [%s] could not be read to its end.",
                  fileName.c_str());
        tally.unreadable.push_back(fileName);
    }
    return read == WindowRead::Whole;
}

}  // namespace logselect

bool getLogFilesByTime(FILE* out, std::string logDir, std::string fileName, time_t fromTime,
                       time_t toTime, const char* machineName, std::string searchText, bool scrub,
                       ScrubRuleList* scrubRules, ReplacementMap* replacements) {
    logselect::ExtractionTally tally;
    return logselect::extractWindowFile(out, logDir, fileName, fromTime, toTime, machineName,
                                        searchText, scrub, scrubRules, replacements, tally) &&
           !tally.writeFailed;
}

void findFileOffsets(const char* path, time_t fromTime, time_t toTime, long long& startOffset,
                     long long& endOffset) {
    startOffset = 0;
    endOffset = 0;
    if (fromTime == 0 && toTime == 0) return;
    EvDebug log;
    struct stat st;
    if (!path || stat(path, &st) != 0) {
        log.Error("findFileOffsets", "Failed to open [%s], Error %d", path ? path : "", errno);
        return;
    }
    const time_t changed = st.st_ctime;
    const time_t modified = st.st_mtime;
    if (fromTime > 0 && fromTime <= changed && toTime > 0 && toTime >= modified) return;

    host::FileHandle file = host::FileHandle::openRegular(path);
    FILE* in = file.get();
    if (!in) {
        log.Error("findFileOffsets", "Failed to open [%s], Error %d", path, errno);
        return;
    }
    const bool shortSpan = modified - changed < 30;
    {
        PieceReader reader(in, 0, kProbeBlock);
        Piece piece;
        int lines = 0;
        int year = 0;
        while (lines < 7 && reader.next(piece)) ++lines;
        if (lines == 7 && headerYear(piece, year) && year != logselect::LineClock::currentYear()) {
            // Lines carry no year: a file begun in another year cannot be bisected.
            startOffset = 0;
            endOffset = (long long)st.st_size;
            log.DebugLvl("findFileOffsets", 10,
                         "File [%s] spans multiple years. Will read whole file.", path);
            return;
        }
    }
    long long low = 0;
    long long high = 0;
    if (fromTime > 0 && ((fromTime >= changed && fromTime <= modified) || shortSpan)) {
        if (!bisect(in, (long long)st.st_size, fromTime, true, low, high)) return;
        // low is one past the start of the line that follows the last entry before the
        // window; reading from there would cut that line's first byte.
        startOffset = low > 0 ? low - 1 : 0;
    }
    if (toTime > 0 && ((toTime >= changed && toTime <= modified) || shortSpan)) {
        if (!bisect(in, (long long)st.st_size, toTime, false, low, high)) return;
        endOffset = high;
    }
}
