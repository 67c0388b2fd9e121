// Seeded generator of product-format log directories. Every byte depends only on the options
// (and on the clock when no start time is given), so tests and benchmarks can regenerate the
// same directory and sandboxes built with one seed look alike.
#include "tooling/LogGenerator.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/Log.h"

extern char** environ;

namespace tooling {
namespace {

// splitmix64: tiny, fast and identical on every platform (unlike the std distributions).
class Rng {
  public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n).
    uint64_t below(uint64_t n) { return n == 0 ? 0 : next() % n; }
    bool percent(unsigned p) { return below(100) < p; }

  private:
    uint64_t state_;
};

enum class LogKind { Service, Other, NeverFiltered };

struct FilePlan {
    std::string name;         // bare file name as written (before compression)
    std::string serviceName;  // shown in the header block
    LogKind kind;
    time_t from;
    time_t to;
    uint64_t bytes;
    bool compress;
};

// Buffered writer that counts bytes; one fwrite per megabyte.
class Sink {
  public:
    explicit Sink(FILE* f) : file_(f) { buffer_.reserve(kChunk + 65536); }
    void add(const std::string& text) {
        buffer_ += text;
        if (text.empty() || text.back() != '\n') buffer_ += '\n';
        written_ += text.size() + ((text.empty() || text.back() != '\n') ? 1 : 0);
        if (buffer_.size() >= kChunk) flush();
    }
    bool flush() {
        if (!buffer_.empty() && fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
            failed_ = true;
        buffer_.clear();
        return !failed_;
    }
    uint64_t written() const { return written_; }
    bool failed() const { return failed_; }

  private:
    static constexpr size_t kChunk = 1 << 20;
    FILE* file_;
    std::string buffer_;
    uint64_t written_ = 0;
    bool failed_ = false;
};

const char* const kWords[] = {
    "opened",    "stream", "pipeline",  "chunk",   "archive", "index",   "volume", "media",
    "reader",    "writer", "completed", "started", "waiting", "session", "agent",  "catalog",
    "transfer",  "bytes",  "files",     "folder",  "policy",  "storage", "copy",   "retry",
    "connected", "socket", "request",   "reply",   "status",  "phase",   "thread", "buffer",
};
constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

std::string message(Rng& rng, const std::string& machine) {
    std::string text;
    size_t words = 3 + rng.below(12);
    for (size_t i = 0; i < words; ++i) {
        if (i) text += ' ';
        text += kWords[rng.below(kWordCount)];
    }
    switch (rng.below(40)) {
        case 0:
            text += " ERROR: operation failed, will retry";
            break;
        case 1:
            text += " host [" + machine + "] addr [10.20." + std::to_string(rng.below(256)) + "." +
                    std::to_string(1 + rng.below(254)) + "]";
            break;
        case 2:
            text += " user [backupadmin] path [/home/backupadmin/data]";
            break;
        default:
            text += " count [" + std::to_string(rng.below(100000)) + "]";
    }
    return text;
}

// A message far above the readers' 16383-byte pieces, made of words so that its later pieces
// do not start with a digit by accident.
std::string longMessage(Rng& rng) {
    std::string text = "dump of a long record:";
    size_t target = 20000 + rng.below(20000);
    while (text.size() < target) {
        text += ' ';
        text += kWords[rng.below(kWordCount)];
    }
    return text;
}

void continuation(Rng& rng, Sink& sink) {
    static const char* const kPrefixes[] = {"\tat ", "    detail: ", "Caused by: ", ""};
    size_t lines = 1 + rng.below(3);
    for (size_t i = 0; i < lines; ++i) {
        std::string line = kPrefixes[rng.below(4)];
        line += kWords[rng.below(kWordCount)];
        line += ' ';
        line += kWords[rng.below(kWordCount)];
        sink.add(line);
    }
}

// Jobs a generated line may belong to: the requested ones and a larger set of others that
// interleave with them.
class JobPool {
  public:
    JobPool(const std::vector<long long>& wanted, Rng& rng) : wanted_(wanted) {
        for (long long id = 70001; others_.size() < 20; ++id) {
            bool clash = false;
            for (long long w : wanted)
                if (w == id) clash = true;
            if (!clash) others_.push_back(id);
        }
        (void)rng;
    }
    long long pick(Rng& rng) const {
        if (!wanted_.empty() && rng.percent(30)) return wanted_[rng.below(wanted_.size())];
        return others_[rng.below(others_.size())];
    }

  private:
    std::vector<long long> wanted_;
    std::vector<long long> others_;
};

struct Worker {
    unsigned long id = 0;
    long long job = 0;
    int left = 0;
};

class FileWriter {
  public:
    FileWriter(const FilePlan& plan, const LogGenOptions& options, const JobPool& jobs,
               uint64_t seed)
        : plan_(plan), options_(options), jobs_(jobs), rng_(seed) {}

    void run(Sink& sink) {
        sink.add(host::formatLogFileHeader(plan_.serviceName, options_.machine, plan_.from));
        setUpWorkers();
        uint64_t nextLong = options_.longLines ? 3000000 + rng_.below(2000000) : UINT64_MAX;
        while (sink.written() < plan_.bytes && !sink.failed()) {
            time_t now = timeAt(sink.written());
            if (sink.written() >= nextLong) {
                nextLong += 4000000 + rng_.below(4000000);
                entry(sink, now, longMessage(rng_));
            } else {
                entry(sink, now, message(rng_, options_.machine));
            }
            if (rng_.below(12) == 0) continuation(rng_, sink);
        }
    }

  private:
    // Entry times grow with the bytes written, so byte offsets and times move together the
    // way a real log's do.
    time_t timeAt(uint64_t written) const {
        double share = plan_.bytes ? double(written) / double(plan_.bytes) : 0.0;
        if (share > 1.0) share = 1.0;
        return plan_.from + time_t(double(plan_.to - plan_.from) * share);
    }

    void setUpWorkers() {
        int count = options_.threadsPerProcess > 0 ? options_.threadsPerProcess : 1;
        pid_ = 10000 + long(rng_.below(89999));
        for (int i = 0; i < count; ++i) {
            Worker w;
            w.id = 10000 + rng_.below(89999);
            if (plan_.kind != LogKind::Service) w.id = (unsigned long)pid_ + i;  // one per process
            workers_.push_back(w);
        }
    }

    void entry(Sink& sink, time_t when, const std::string& text) {
        Worker& w = workers_[rng_.below(workers_.size())];
        if (w.left <= 0) {
            w.job = jobs_.pick(rng_);
            w.left = 5 + int(rng_.below(60));
        }
        --w.left;
        std::string jobField = std::to_string(w.job);
        unsigned roll = unsigned(rng_.below(100));
        if (roll >= 70 && roll < 85) jobField = std::string(1 + rng_.below(3), '#');
        if (roll >= 85 && roll < 90) jobField = "-1";
        bool attributed = jobField[0] != '#' && jobField[0] != '-';
        long long tag = attributed ? tagIdForJob(w.job) : 0;

        if (plan_.kind == LogKind::Service) {
            sink.add(host::formatEntryLine(pid_, w.id, when, jobField, "1", "Main",
                                           "[A:" + std::to_string(tag) + "]", text));
        } else {
            // Other logs: each worker is a process of its own working for one job at a time.
            sink.add(host::formatEntryLine(long(w.id), (unsigned long)(w.id * 7 % 100000), when,
                                           jobField, "1", "Main", std::to_string(tag), text));
        }
    }

    const FilePlan& plan_;
    const LogGenOptions& options_;
    const JobPool& jobs_;
    Rng rng_;
    long pid_ = 0;
    std::vector<Worker> workers_;
};

bool startsWithNoCase(const std::string& text, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (i >= text.size() || toupper((unsigned char)text[i]) != prefix[i]) return false;
    }
    return true;
}

LogKind kindOfName(const std::string& name) {
    static const char* const kService[] = {"WYD",  "EVMGRS",        "EVMGRC",    "MEDIAMANAGER",
                                           "WYMA", "APPMGRSERVICE", "JOBMANAGER"};
    static const char* const kNever[] = {"WYFWD", "CREATEDB", "SIMHM"};
    for (const char* p : kNever)
        if (startsWithNoCase(name, p)) return LogKind::NeverFiltered;
    for (const char* p : kService)
        if (startsWithNoCase(name, p)) return LogKind::Service;
    return LogKind::Other;
}

// One log and its rotated copies, oldest first: the span is shared out among them.
void addRotated(std::vector<FilePlan>& plans, const std::string& stem, LogKind kind, double weight,
                int rotations, bool compressOldest, const LogGenOptions& o) {
    int parts = rotations + 1;
    uint64_t bytes = uint64_t(double(o.targetBytes) * weight);
    time_t start = o.start ? o.start : time(nullptr) - o.span;
    for (int i = rotations; i >= 0; --i) {
        FilePlan p;
        p.name = i == 0 ? stem + ".log" : stem + "_" + std::to_string(i) + ".log";
        p.serviceName = stem;
        p.kind = kind;
        int index = rotations - i;
        p.from = start + o.span * index / parts;
        p.to = start + o.span * (index + 1) / parts - 1;
        p.bytes = bytes / parts;
        p.compress = compressOldest && i == rotations && rotations > 0;
        plans.push_back(p);
    }
}

std::vector<FilePlan> planFiles(const LogGenOptions& o) {
    std::vector<FilePlan> plans;
    if (!o.onlyFile.empty()) {
        time_t start = o.start ? o.start : time(nullptr) - o.span;
        std::string service = o.onlyFile.substr(0, o.onlyFile.find('.'));
        FilePlan p{o.onlyFile,    service, kindOfName(o.onlyFile), start, start + o.span - 1,
                   o.targetBytes, false};
        plans.push_back(p);
        return plans;
    }
    int wydRotations = o.rotatedCopies ? (o.bz2Copies ? 3 : 2) : (o.bz2Copies ? 1 : 0);
    addRotated(plans, "wyd", LogKind::Service, 0.30, wydRotations, o.bz2Copies, o);
    addRotated(plans, "JobManager", LogKind::Service, 0.12, 0, false, o);
    addRotated(plans, "MediaManager", LogKind::Service, 0.08, o.rotatedCopies ? 1 : 0, false, o);
    addRotated(plans, "EvMgrS", LogKind::Service, 0.05, 0, false, o);
    addRotated(plans, "clBackup", LogKind::Other, 0.15, o.rotatedCopies ? 1 : 0, false, o);
    addRotated(plans, "FileScan", LogKind::Other, 0.10, 0, false, o);
    addRotated(plans, "clRestore", LogKind::Other, 0.06, 0, false, o);
    addRotated(plans, "ArchiveIndex", LogKind::Other, 0.10, 0, false, o);
    addRotated(plans, "WyFwd", LogKind::NeverFiltered, 0.04, 0, false, o);
    return plans;
}

bool setTimes(const std::string& path, time_t when, std::string& error) {
    struct timespec times[2];
    times[0].tv_sec = when;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        error = "cannot set the times of " + path + ": " + strerror(errno);
        return false;
    }
    return true;
}

// Runs the real bzip2 program on path (no shell: the path is an argument, never parsed).
bool compressWithBzip2(const std::string& path, std::string& error) {
    std::string program = "bzip2";
    std::string force = "-f";
    std::string endOfOptions = "--";
    std::string file = path;
    char* argv[] = {&program[0], &force[0], &endOfOptions[0], &file[0], nullptr};
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "bzip2", nullptr, nullptr, argv, environ);
    if (rc != 0) {
        error = std::string("cannot run bzip2: ") + strerror(rc);
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = std::string("cannot wait for bzip2: ") + strerror(errno);
            return false;
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "bzip2 failed on " + path;
        return false;
    }
    return true;
}

bool writePlan(const std::string& dir, const FilePlan& plan, const LogGenOptions& options,
               const JobPool& jobs, uint64_t seed, std::string& error) {
    std::string path = dir + "/" + plan.name;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot create " + path + ": " + strerror(errno);
        return false;
    }
    Sink sink(f);
    FileWriter(plan, options, jobs, seed).run(sink);
    bool ok = sink.flush();
    if (fclose(f) != 0) ok = false;
    if (!ok) {
        error = "cannot write " + path + ": " + strerror(errno);
        return false;
    }
    if (!setTimes(path, plan.to, error)) return false;
    return !plan.compress || compressWithBzip2(path, error);
}

}  // namespace

bool generateLogDirectory(const std::string& dir, const LogGenOptions& options,
                          std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    if (options.span <= 0) {
        error = "the time span must be positive";
        return false;
    }
    Rng seeds(options.seed);
    JobPool jobs(options.jobIds, seeds);
    for (const FilePlan& plan : planFiles(options)) {
        if (!writePlan(dir, plan, options, jobs, seeds.next(), error)) return false;
    }
    return true;
}

}  // namespace tooling
