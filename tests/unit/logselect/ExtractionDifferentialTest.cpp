// The skipping job filters against a plain line-by-line filter on random logs; the ordered dump.
#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "logselect/JobFilter.h"
#include "logselect/LogLineGrammar.h"
#include "logselect/OrderedDump.h"
#include "support/LogFixtures.h"
#include "support/TestEnv.h"

namespace {

constexpr size_t kPiece = 16383;

// The plain filter: every piece cut and parsed with ParseLogLine, the workers in a list.
std::string plainFilter(bool service, const std::string& text, const std::vector<std::string>& jobs,
                        long long tag, std::list<std::string>& workers) {
    const std::string tagText = (service ? "[A:" : "") + std::to_string(tag) + (service ? "]" : "");
    auto has = [&](const std::string& w) {
        return std::find(workers.begin(), workers.end(), w) != workers.end();
    };
    std::string out;
    bool open = false;
    size_t openEnd = 0;
    std::string lastProcess;
    for (size_t at = 0; at < text.size();) {
        size_t newline = text.find('\n', at);
        size_t size = newline == std::string::npos ? text.size() - at : newline - at + 1;
        size = std::min(size, kPiece);
        const std::string piece = text.substr(at, size);
        const size_t begin = at;
        at += size;
        if (piece[0] < '0' || piece[0] > '9') continue;
        char line[kLogLineBufferSize];
        memcpy(line, piece.c_str(), piece.size() + 1);
        char pid[100], tid[100], date[100], time[100], job[100], tagField[100];
        if (!ParseLogLine(line, pid, 100, tid, 100, date, 100, time, 100, job, 100, tagField, 100))
            continue;
        const bool jobMatch = std::find(jobs.begin(), jobs.end(), job) != jobs.end();
        const bool tagMatch = tagText == tagField;
        bool attributed = !jobs.empty() && tag != 0
                              ? jobMatch && tagMatch
                              : (!jobs.empty() ? jobMatch : tag > 0 && tagMatch);
        const std::string worker = service ? tid : pid;
        bool take = false;
        if (job[0] == '#') {
            take = has(worker) && (!service || lastProcess == pid);
        } else if (attributed) {
            if (!has(worker)) workers.push_back(worker);
            lastProcess = pid;
            take = true;
        } else if (!service || (!(!jobs.empty() && tag != 0) && job[0] != '-')) {
            workers.remove(worker);
        }
        if (!take) continue;
        if (open && begin != openEnd) out += '\n';
        out += piece;
        open = piece.back() != '\n';
        openEnd = begin + size;
    }
    if (open) out += '\n';
    return out;
}

class RandomLog {
  public:
    explicit RandomLog(uint32_t seed) : rng_(seed) {}
    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

    std::string field(const std::vector<std::string>& choices) {
        return choices[below(choices.size())];
    }

    std::string text(size_t lines) {
        static const std::vector<std::string> pids = {"10001", "10002", "2"};
        static const std::vector<std::string> tids = {"1", "2", "3", "10001"};
        static const std::vector<std::string> jobs = {"1001", "1002", "10010", "#",    "##",
                                                      "-1",   "77",   "x1001", "1001x"};
        static const std::vector<std::string> tags = {"[A:0]", "[A:5]", "5", "[A:91001]", "[A:5]x"};
        std::string out;
        for (size_t i = 0; i < lines; ++i) {
            const size_t roll = below(100);
            if (roll < 8) {
                out += "  continued 1001 [A:5]\n";
                continue;
            }
            if (roll < 11) {
                out += "10001 1 07/14 1001\n";  // too few fields
                continue;
            }
            std::string line = field(pids) + " " + field(tids) + " 07/14 09:00:00 " + field(jobs) +
                               " 1 Main " + field(tags) + " message";
            if (roll < 14) {
                // Over-long: job text across a piece boundary, later pieces that look like entries.
                line += std::string(kPiece - line.size() - below(8), 'y');
                line += field({"1001 ", "10001 2 07/14 09:00:01 1001 1 Main 5 z", "x"});
                line += std::string(below(20000), 'z');
            }
            if (roll == 14) line += std::string(1, '\0') + " 1001";
            out += line + "\n";
        }
        if (below(4) == 0) out.pop_back();  // no newline at the end
        return out;
    }

  private:
    std::mt19937 rng_;
};

class ExtractionDifferential : public testenv::QuietLogTest {
  protected:
    testenv::TempDir dir_{"ls-diff"};
};

TEST_F(ExtractionDifferential, JobFiltersMatchThePlainFilter) {
    RandomLog gen(4242);
    const std::vector<std::vector<long long>> requests = {{1001}, {1001, 1002}, {10010}};
    for (int trial = 0; trial < 60; ++trial) {
        // Small files make the reader's blocks end anywhere; long ones span blocks.
        const std::string body = gen.text(trial % 3 == 0 ? 3000 : 40);
        testenv::writeFile(dir_.file("wyd.log"), body);
        testenv::writeFile(dir_.file("clBackup.log"), body);
        const std::vector<long long>& ids = requests[trial % requests.size()];
        const long long tag = trial % 4 == 1 ? 5 : (trial % 4 == 2 ? 91001 : 0);
        const long long jobId = trial % 5 == 4 ? 0 : ids[0];
        std::vector<std::string> texts;
        if (jobId != 0)
            for (long long id : ids) texts.push_back(std::to_string(id));
        for (bool service : {true, false}) {
            const char* name = service ? "wyd.log" : "clBackup.log";
            // Workers left by an earlier rotated copy, or none.
            std::list<std::string> start;
            if (trial % 2) start = {service ? "2" : "10002"};
            std::list<std::string> expectedWorkers = start, workers = start;
            std::string expected = plainFilter(service, body, texts, tag, expectedWorkers);
            if (!expected.empty()) expected = lstest::banner("m", name) + expected;
            lstest::Dump dump;
            const std::vector<long long> list(jobId != 0 ? ids.begin() + 1 : ids.end(), ids.end());
            auto* filter = service ? &getServiceLogsByJobId : &getNonServiceLogsByJobId;
            filter(dump.file(), dir_.path(), name, workers, jobId, list, "m", tag, "", 0, 0, false,
                   nullptr, nullptr);
            ASSERT_EQ(expected, dump.text()) << "trial " << trial << " " << name;
            ASSERT_EQ(expectedWorkers, workers) << "trial " << trial << " " << name;
        }
    }
}

// Parts finishing out of order, beyond the bound while an earlier one writes, land in order.
TEST_F(ExtractionDifferential, OrderedDumpKeepsThePartsInOrder) {
    lstest::Dump out;
    const size_t parts = 6;
    logselect::OrderedDump dump(out.file(), parts, 100);
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < parts; i = next++) {
            FILE* stream = dump.open(i);
            ASSERT_NE(stream, nullptr);
            for (int k = 0; k < 50; ++k) fprintf(stream, "part %zu line %d\n", i, k);
            dump.finish(i, stream);
        }
    };
    std::thread other(work);
    work();
    other.join();
    std::string expected;
    for (size_t i = 0; i < parts; ++i)
        for (int k = 0; k < 50; ++k)
            expected += "part " + std::to_string(i) + " line " + std::to_string(k) + "\n";
    EXPECT_EQ(expected, out.text());
    EXPECT_FALSE(dump.writeFailed());
}

}  // namespace
