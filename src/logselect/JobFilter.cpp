// Job-filtered extraction of one log file. The line loops cut only the fields a decision
// needs and keep no per-line allocation; they run over gigabytes of logs.
#include "logselect/JobFilter.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "host/Log.h"
#include "logselect/DumpWriter.h"
#include "logselect/EntryFields.h"
#include "logselect/ExtractionTally.h"
#include "logselect/ExtractorErrors.h"
#include "logselect/LogLineGrammar.h"
#include "logselect/LogSource.h"
#include "logselect/PieceReader.h"
#include "logselect/TextFinder.h"
#include "logselect/TimeWindow.h"

using logselect::DumpWriter;
using logselect::EntryFields;
using logselect::FieldView;
using logselect::Piece;
using logselect::PieceReader;

namespace {

const char kServiceSignature[] =
    "bool getServiceLogsByJobId(FILE*, std::string, std::string, std::list<std::string>&, "
    "long long, std::vector<long long>, const char*, long long, std::string, time_t, time_t, "
    "bool, ScrubRuleList*, ReplacementMap*)";
const char kOtherSignature[] =
    "bool getNonServiceLogsByJobId(FILE*, std::string, std::string, std::list<std::string>&, "
    "long long, std::vector<long long>, const char*, long long, std::string, time_t, time_t, "
    "bool, ScrubRuleList*, ReplacementMap*)";

// The requested jobs as decimal texts and the tag text, compared with whole fields.
class JobMatcher {
  public:
    JobMatcher(long long jobId, const std::vector<long long>& jobIds, long long tagId,
               bool serviceTag)
        : tagId_(tagId) {
        if (jobId != 0) addJob(jobId);
        for (long long id : jobIds) addJob(id);
        char text[48];
        snprintf(text, sizeof text, serviceTag ? "[A:%lld]" : "%lld", tagId);
        tagText_ = text;
    }
    bool hasJobs() const { return !jobs_.empty(); }
    long long tagId() const { return tagId_; }
    bool isRequestedJob(const FieldView& job) const {
        for (const std::string& j : jobs_)
            if (job.equals(j)) return true;
        return false;
    }
    bool tagMatches(const FieldView& tag) const { return tag.equals(tagText_); }
    // Texts one of which every attributed line holds: its job field equals a requested job,
    // or (with a tag alone) its tag field equals the tag. No texts: nothing to look for.
    logselect::TextFinder attributionTexts() const {
        logselect::TextFinder finder;
        if (hasJobs()) {
            for (const std::string& j : jobs_) finder.add(j);
        } else if (tagId_ > 0) {
            finder.add(tagText_);
        }
        return finder;
    }

    // Whether an entry with a job id (not a "#" field) belongs to the request.
    bool attributes(const EntryFields& f) const {
        if (hasJobs() && tagId_ != 0) return isRequestedJob(f.job()) && tagMatches(f.tag());
        if (hasJobs()) return isRequestedJob(f.job());
        return tagId_ > 0 && tagMatches(f.tag());
    }

  private:
    void addJob(long long id) {
        std::string text = std::to_string(id);
        for (const std::string& j : jobs_)
            if (j == text) return;
        jobs_.push_back(text);
    }

    std::vector<std::string> jobs_;  // a handful: linear search beats a tree here
    long long tagId_;
    std::string tagText_;
};

// The workers list shared by the rotated copies of one log; no text in it twice.
class Workers {
  public:
    explicit Workers(std::list<std::string>& list) : list_(list) {}
    bool empty() const { return list_.empty(); }
    bool contains(const FieldView& id) const {
        for (const std::string& w : list_)
            if (id.equals(w)) return true;
        return false;
    }
    void add(const FieldView& id) {
        if (!contains(id)) list_.emplace_back(id.data, id.size);
    }
    void remove(const FieldView& id) {
        for (auto it = list_.begin(); it != list_.end(); ++it) {
            if (id.equals(*it)) {
                list_.erase(it);
                return;
            }
        }
    }

  private:
    std::list<std::string>& list_;
};

// With no worker of the request active, a line matters only when it is attributed to the
// request (any other line takes nothing and releases no one), and such a line holds one of
// the request's texts: the reader may jump to the next piece that holds one.
void skipWhileIdle(PieceReader& reader, const logselect::TextFinder& texts,
                   const Workers& workers) {
    if (workers.empty() && !texts.empty()) reader.skipToText(texts);
}

// Service logs: one process, one thread per job at a time. Lines without a job id ("#")
// belong to the job the thread last wrote for, if that was a requested one.
bool filterServiceLines(FILE* in, DumpWriter& writer, const JobMatcher& jobs, Workers& workers,
                        long long startOffset, long long endOffset) {
    PieceReader reader(in, startOffset);
    Piece piece;
    EntryFields f;
    char lastProcess[logselect::kMaxField];
    size_t lastProcessSize = 0;
    const unsigned wanted = logselect::kField1 | logselect::kField2 | logselect::kField5 |
                            (jobs.tagId() != 0 ? logselect::kField8 : 0);
    const logselect::TextFinder texts = jobs.attributionTexts();
    for (;;) {
        skipWhileIdle(reader, texts, workers);
        if (!reader.next(piece)) break;
        // A line that ends exactly at the end offset is still read: an end offset equal to
        // the file size must not lose the file's last line.
        if (endOffset >= 1 && piece.end() > endOffset) break;
        if (!logselect::isEntryStart(piece.data[0])) continue;
        if (!cutEntryFields(piece.data, piece.size, f, wanted, piece.readable)) continue;
        bool take = false;
        char first = f.job().first();
        if (first == '#') {
            take = f.processId().equals(lastProcess, lastProcessSize) &&
                   workers.contains(f.threadId());
        } else if (jobs.attributes(f)) {
            lastProcessSize = f.processId().size;
            memcpy(lastProcess, f.processId().data, lastProcessSize);
            workers.add(f.threadId());
            take = true;
        } else if (!(jobs.hasJobs() && jobs.tagId() != 0) && first != '-') {
            // The thread now works for another job. (With both jobs and a tag requested, a
            // line that does not match both leaves the workers alone.)
            workers.remove(f.threadId());
        }
        if (take) writer.take(piece);
    }
    if (reader.failed()) printErrorMsg("filterServiceLines: read failed");
    return !reader.failed();
}

// Other logs: attribution by process. A "#" line (no job id) is taken when its process is
// working for a requested job, i.e. is in workers; it changes nothing.
bool filterOtherLines(FILE* in, DumpWriter& writer, const JobMatcher& jobs, Workers& workers,
                      long long startOffset, long long endOffset) {
    PieceReader reader(in, startOffset);
    Piece piece;
    EntryFields f;
    const unsigned wanted =
        logselect::kField1 | logselect::kField5 | (jobs.tagId() != 0 ? logselect::kField8 : 0);
    const logselect::TextFinder texts = jobs.attributionTexts();
    for (;;) {
        skipWhileIdle(reader, texts, workers);
        if (!reader.next(piece)) break;
        if (endOffset >= 1 && piece.end() > endOffset) break;
        if (!logselect::isEntryStart(piece.data[0])) continue;
        if (!cutEntryFields(piece.data, piece.size, f, wanted, piece.readable)) continue;
        bool take = false;
        if (f.job().first() == '#') {
            take = workers.contains(f.processId());
        } else if (jobs.attributes(f)) {
            workers.add(f.processId());
            take = true;
        } else {
            workers.remove(f.processId());
        }
        if (take) writer.take(piece);
    }
    if (reader.failed()) printErrorMsg("DumpJobInfo: read failed");
    return !reader.failed();
}

bool seekTo(FILE* in, long long offset) {
    return offset <= 0 || fseeko(in, (off_t)offset, SEEK_SET) == 0;
}

// The other-log filter over [startOffset, endOffset) of an open file; false when the file
// could not be read to its end.
bool dumpOtherLines(FILE* in, DumpWriter& writer, unsigned long jobId,
                    const std::vector<long long>& jobIds, std::list<std::string>& workers,
                    long long tagId, long long startOffset, long long endOffset) {
    if (!seekTo(in, startOffset)) {
        printErrorMsg("DumpJobInfo");
        return false;
    }
    JobMatcher jobs((long long)jobId, jobIds, tagId, false);
    Workers list(workers);
    const bool read = filterOtherLines(in, writer, jobs, list, startOffset, endOffset);
    // One flush per file rather than per line keeps the dump current at file boundaries
    // without a system call for every line taken.
    writer.finish();
    return read;
}

}  // namespace

namespace logselect {

bool extractJobFile(JobVariant variant, FILE* out, const std::string& logDir,
                    const std::string& fileName, std::list<std::string>& workers, long long jobId,
                    const std::vector<long long>& jobIds, const char* machineName, long long tagId,
                    const std::string& searchText, time_t fromTime, time_t toTime, bool scrub,
                    ScrubRuleList* scrubRules, ReplacementMap* replacements,
                    ExtractionTally& tally) {
    const bool service = variant == JobVariant::Service;
    const char* tag = service ? "getServiceLogsByJobId" : "getNonServiceLogsByJobId";
    LogSource source(logDir, fileName);
    const LogSource::Status status =
        source.open({tag, service, service ? kServiceSignature : kOtherSignature});
    if (status != LogSource::Status::Open) return countUnopened(status, fileName, tally);
    FILE* in = source.file();

    long long startOffset = 0;
    long long endOffset = 0;
    if (fromTime > 0 || toTime > 0)
        findFileOffsets(source.path().c_str(), fromTime, toTime, startOffset, endOffset);

    bool read = false;
    DumpWriter writer(out, machineName, fileName.c_str(), searchText, scrub, scrubRules,
                      replacements);
    try {
        if (!service) {
            read = dumpOtherLines(in, writer, (unsigned long)jobId, jobIds, workers, tagId,
                                  startOffset, endOffset);
        } else if (!seekTo(in, startOffset)) {
            printErrorMsg(kServiceSignature);
        } else {
            JobMatcher jobs(jobId, jobIds, tagId, true);
            Workers list(workers);
            read = filterServiceLines(in, writer, jobs, list, startOffset, endOffset);
        }
    } catch (...) {
        logLoopException(tag);
    }
    writer.finish();
    tally.redactedLines += writer.redactedLines();
    if (writer.writeFailed()) {
        tally.writeFailed = true;
        EvDebug log;
        log.Error(tag, "Failed to write the lines of [%s] into the dump: %s", fileName.c_str(),
                  strerror(writer.writeError()));
    }
    if (!read) {
        EvDebug log;
        log.Error(tag, "Log file [%s] could not be read to its end.", fileName.c_str());
        tally.unreadable.push_back(fileName);
    }
    return read;
}

}  // namespace logselect

bool getServiceLogsByJobId(FILE* out, std::string logDir, std::string fileName,
                           std::list<std::string>& workers, long long jobId,
                           std::vector<long long> jobIds, const char* machineName, long long tagId,
                           std::string searchText, time_t fromTime, time_t toTime, bool scrub,
                           ScrubRuleList* scrubRules, ReplacementMap* replacements) {
    logselect::ExtractionTally tally;
    return logselect::extractJobFile(logselect::JobVariant::Service, out, logDir, fileName, workers,
                                     jobId, jobIds, machineName, tagId, searchText, fromTime,
                                     toTime, scrub, scrubRules, replacements, tally) &&
           !tally.writeFailed;
}

bool getNonServiceLogsByJobId(FILE* out, std::string logDir, std::string fileName,
                              std::list<std::string>& workers, long long jobId,
                              std::vector<long long> jobIds, const char* machineName,
                              long long tagId, std::string searchText, time_t fromTime,
                              time_t toTime, bool scrub, ScrubRuleList* scrubRules,
                              ReplacementMap* replacements) {
    logselect::ExtractionTally tally;
    return logselect::extractJobFile(logselect::JobVariant::Other, out, logDir, fileName, workers,
                                     jobId, jobIds, machineName, tagId, searchText, fromTime,
                                     toTime, scrub, scrubRules, replacements, tally) &&
           !tally.writeFailed;
}

bool DumpJobInfo(FILE* out, FILE* in, unsigned long jobId, std::vector<long long> jobIds,
                 std::list<std::string>& workers, const char* fileName, const char* machineName,
                 long long tagId, std::string searchText, long long startOffset,
                 long long endOffset, bool scrub, ScrubRuleList* scrubRules,
                 ReplacementMap* replacements) {
    try {
        DumpWriter writer(out, machineName, fileName, searchText, scrub, scrubRules, replacements);
        dumpOtherLines(in, writer, jobId, jobIds, workers, tagId, startOffset, endOffset);
    } catch (...) {
        logselect::logLoopException("DumpJobInfo");
    }
    return true;
}
