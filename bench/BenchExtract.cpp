// Job and time-window extraction on generated product logs, for bench/compare_extract.sh.
//
//   bench_extract generate DIR NAME MB [SEED]     write DIR/NAME, one day of entries
//   bench_extract generate-dir DIR MB [SEED]      write a log directory of MB MiB (service and
//                                                 other logs, rotated copies) in which job
//                                                 1001 is one of 24 interleaved jobs
//   bench_extract dir DIR JOB THREADS OUT         extract one job's lines from the directory
//                                                 on THREADS threads into OUT
//   bench_extract job DIR NAME JOB OUT            extract one job's lines into OUT
//   bench_extract window DIR NAME JOB HOUR MINUTES OUT
//                                                 the same, limited to a window of the day
//   bench_extract bytime DIR NAME HOUR MINUTES OUT
//                                                 time-window extraction of the whole file
//
// Each run prints one line "seconds=<s> in=<bytes> out=<bytes>" (window runs add the byte
// range the bisection chose); all but dir run on one thread.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <string>

#include "host/Log.h"
#include "logselect/FilteredLogFiles.h"
#include "logselect/JobFilter.h"
#include "logselect/LogLineGrammar.h"
#include "logselect/TimeWindow.h"
#include "tooling/LogGenerator.h"

namespace {

using Clock = std::chrono::steady_clock;

long long fileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

// Midnight of January 2nd of this year: one whole day that the readers date in this year.
time_t dayStart() {
    time_t now = time(nullptr);
    struct tm parts;
    localtime_r(&now, &parts);
    struct tm day = {};
    day.tm_year = parts.tm_year;
    day.tm_mon = 0;
    day.tm_mday = 2;
    day.tm_isdst = -1;
    return mktime(&day);
}

int generate(int argc, char** argv) {
    if (argc < 5) return 2;
    tooling::LogGenOptions options;
    options.onlyFile = argv[3];
    options.targetBytes = strtoull(argv[4], nullptr, 10) << 20;
    options.seed = argc > 5 ? strtoull(argv[5], nullptr, 10) : 1;
    options.start = dayStart();
    options.span = 86400;
    options.threadsPerProcess = 12;
    std::string error;
    if (!tooling::generateLogDirectory(argv[2], options, error)) {
        fprintf(stderr, "generate: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// One day of a whole log directory: the requested job 1001 is one of twelve wanted jobs among
// 24, so a thread works for it about one time in forty.
int generateDirectory(int argc, char** argv) {
    if (argc < 4) return 2;
    tooling::LogGenOptions options;
    options.targetBytes = strtoull(argv[3], nullptr, 10) << 20;
    options.seed = argc > 4 ? strtoull(argv[4], nullptr, 10) : 1;
    options.start = dayStart();
    options.span = 86400;
    options.threadsPerProcess = 12;
    options.bz2Copies = false;  // the peers read plain files only
    options.jobIds.clear();
    for (long long id = 1001; id <= 1012; ++id) options.jobIds.push_back(id);
    std::string error;
    if (!tooling::generateLogDirectory(argv[2], options, error)) {
        fprintf(stderr, "generate-dir: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

long long directorySize(const std::string& dir) {
    long long total = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file()) total += (long long)e.file_size();
    return total;
}

int extractDirectory(char** argv) {
    FILE* out = fopen(argv[5], "w");
    if (!out) {
        perror(argv[5]);
        return 1;
    }
    logselect::ExtractionTally tally;
    Clock::time_point begin = Clock::now();
    bool ok = logselect::extractJobLogs(out, argv[2], atoll(argv[3]), {}, 0, 0, "bench", "", "",
                                        0, false, nullptr, nullptr, tally,
                                        (unsigned)atoi(argv[4])) &&
              tally.complete();
    fflush(out);
    double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    long long written = ftell(out);
    fclose(out);
    printf("seconds=%.3f in=%lld out=%lld ok=%d\n", seconds, directorySize(argv[2]), written,
           ok ? 1 : 0);
    return ok ? 0 : 1;
}

bool extractJob(FILE* out, const std::string& dir, const std::string& name, long long job,
                time_t from, time_t to) {
    std::list<std::string> workers;
    if (FindLogType(name.c_str()) == LOG_TYPE_SERVICE)
        return getServiceLogsByJobId(out, dir, name, workers, job, {}, "bench", 0, "", from, to,
                                     false, nullptr, nullptr);
    return getNonServiceLogsByJobId(out, dir, name, workers, job, {}, "bench", 0, "", from, to,
                                    false, nullptr, nullptr);
}

int run(int argc, char** argv) {
    const std::string mode = argv[1];
    const std::string dir = argv[2];
    const std::string name = argv[3];
    const std::string path = dir + "/" + name;
    time_t from = 0, to = 0;
    long long job = 0;
    const char* outPath = nullptr;
    if (mode == "job" && argc == 6) {
        job = atoll(argv[4]);
        outPath = argv[5];
    } else if (mode == "window" && argc == 8) {
        job = atoll(argv[4]);
        from = dayStart() + atoi(argv[5]) * 3600;
        to = from + atoi(argv[6]) * 60;
        outPath = argv[7];
    } else if (mode == "bytime" && argc == 7) {
        from = dayStart() + atoi(argv[4]) * 3600;
        to = from + atoi(argv[5]) * 60;
        outPath = argv[6];
    } else {
        return 2;
    }
    FILE* out = fopen(outPath, "w");
    if (!out) {
        perror(outPath);
        return 1;
    }
    long long start = 0, end = 0;
    Clock::time_point begin = Clock::now();
    if (mode == "window") findFileOffsets(path.c_str(), from, to, start, end);
    bool ok = mode == "bytime" ? getLogFilesByTime(out, dir, name, from, to, "bench", "", false,
                                                   nullptr, nullptr)
                               : extractJob(out, dir, name, job, from, to);
    fflush(out);
    double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    long long written = ftell(out);
    fclose(out);
    long long size = fileSize(path);
    printf("seconds=%.3f in=%lld out=%lld", seconds, size, written);
    if (mode == "window") {
        long long last = end > 0 ? end : size;
        printf(" range=%lld-%lld share=%.4f", start, last, double(last - start) / double(size));
    }
    printf(" ok=%d\n", ok ? 1 : 0);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    host::setLogFilePath("");  // the benchmark measures extraction, not the library's trace
    if (argc >= 2 && strcmp(argv[1], "generate") == 0) return generate(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "generate-dir") == 0) return generateDirectory(argc, argv);
    if (argc == 6 && strcmp(argv[1], "dir") == 0) return extractDirectory(argv);
    if (argc >= 6) return run(argc, argv);
    fprintf(stderr,
            "usage: bench_extract generate DIR NAME MB [SEED]\n"
            "       bench_extract generate-dir DIR MB [SEED]\n"
            "       bench_extract dir DIR JOB THREADS OUT\n"
            "       bench_extract job DIR NAME JOB OUT\n"
            "       bench_extract window DIR NAME JOB HOUR MINUTES OUT\n"
            "       bench_extract bytime DIR NAME HOUR MINUTES OUT\n");
    return 2;
}
