// Generator of product-format log directories for the sandbox, the tests and the benchmarks:
// seeded, so the same options give the same bytes.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace tooling {

struct LogGenOptions {
    uint64_t seed = 1;
    std::string machine = "client01";
    time_t start = 0;                // time of the first entry (0: now minus one day)
    time_t span = 86400;             // seconds the entries cover
    uint64_t targetBytes = 4 << 20;  // approximate total size of all files
    std::vector<long long> jobIds = {1001, 1002, 1003, 1004};
    int threadsPerProcess = 8;
    bool rotatedCopies = true;  // wyd_1.log, wyd_2.log ...
    bool bz2Copies = true;      // a compressed rotated copy (wyd_3.log.bz2)
    // When set, only this one file is written, holding all of targetBytes: a service log
    // when its name begins like one (wyd, JobManager ...), an other log otherwise.
    std::string onlyFile;
    // Over-long entry lines (above the readers' 16383-byte pieces) among the entries.
    bool longLines = true;
};

// The tag id the generator writes on the lines of a job ("[A:<tag>]" in service logs, the
// bare number in other logs).
inline long long tagIdForJob(long long jobId) {
    return jobId + 90000;
}

// Writes service logs (type 1 names such as wyd.log, JobManager.log), other logs and the
// rotated and compressed copies into dir (created when missing). Interleaved jobs and
// threads, no-job lines, continuation lines. False with a reason on failure.
bool generateLogDirectory(const std::string& dir, const LogGenOptions& options, std::string& error);

}  // namespace tooling
