// Scrubbing on generated product logs, for bench/compare_scrub.sh.
//
//   bench_scrub generate DIR MB [SEED]   write DIR/all.log (MB MiB), DIR/tree/ (the same
//                                        lines in 16 files), DIR/small.log (MB/10 MiB) and
//                                        the rules: DIR/patterns.txt (100 host and user
//                                        names and one IPv4 expression), DIR/values.txt,
//                                        DIR/rules.sed (sed -E) and DIR/rules.pl (perl -p)
//   bench_scrub generate-archive DIR FILES [SEED]
//                                        write DIR/archive/ (FILES JSON, YAML and log files
//                                        of 1 KiB to 1 MiB in folders) and its rules
//                                        DIR/archive-patterns.txt (300 values, an IPv4 and a
//                                        MAC expression)
//   bench_scrub single PATTERNS SRC OUT  scrubSingleLogFile on one thread
//   bench_scrub tree PATTERNS SRC OUT N  the tree scrub with N workers
//   bench_scrub noscan PATTERNS SRC OUT  the single-file scrub without the block scanner
//   bench_scrub plain PATTERNS SRC OUT   the plain line-by-line algorithm (no compiled
//                                        rules, no prefilter, no name cache), for comparison
//
// Each run prints "seconds=<s> in=<bytes> maxrss_kb=<kb>".
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/Log.h"
#include "scrub/CompiledRules.h"
#include "scrub/FileScrubber.h"
#include "scrub/LineScrubber.h"
#include "scrub/PatternFile.h"
#include "scrub/TreeScrubber.h"
// The plain algorithm the tests compare the library with.
#include "../tests/unit/scrub/ReferenceScrubber.cpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTreeFiles = 16;

class Rng {
  public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    size_t below(size_t n) { return static_cast<size_t>(next() % n); }

  private:
    uint64_t state_;
};

// 60 host names and 40 user names, all distinct.
std::vector<std::string> ruleValues() {
    const char* roles[] = {"db", "app", "web", "fs", "mail", "ci"};
    const char* sites[] = {"lon", "nyc", "fra", "sgp", "syd"};
    const char* first[] = {"j", "a", "m", "s", "r", "k", "t", "e"};
    const char* last[] = {"smith", "kumar", "garcia", "novak", "tanaka"};
    std::vector<std::string> values;
    for (int i = 0; i < 60; ++i) {
        char host[32];
        snprintf(host, sizeof host, "%s-%s%02d", roles[i % 6], sites[(i / 6) % 5], 10 + i);
        values.push_back(host);
    }
    for (int i = 0; i < 40; ++i) values.push_back(std::string(first[i % 8]) + last[i / 8]);
    return values;
}

const char* const kWords[] = {"opened",  "stream", "pipeline", "chunk",    "archive", "index",
                              "volume",  "media",  "reader",   "writer",   "started", "waiting",
                              "session", "agent",  "catalog",  "transfer", "bytes",   "files",
                              "folder",  "policy", "storage",  "copy",     "retry",   "socket",
                              "request", "reply",  "status",   "phase",    "thread",  "buffer"};

// The addresses of a site: 1000 hosts in 10.0.0.0/8.
std::vector<std::string> addresses(Rng& rng) {
    std::vector<std::string> pool;
    for (int i = 0; i < 1000; ++i) {
        pool.push_back("10." + std::to_string(rng.below(256)) + "." +
                       std::to_string(rng.below(256)) + "." + std::to_string(1 + rng.below(254)));
    }
    return pool;
}

std::string message(Rng& rng, const std::vector<std::string>& values,
                    const std::vector<std::string>& pool) {
    std::string text;
    const size_t words = 4 + rng.below(8);
    for (size_t i = 0; i < words; ++i) {
        text += kWords[rng.below(sizeof kWords / sizeof *kWords)];
        text += ' ';
    }
    const size_t roll = rng.below(100);
    if (roll < 30) text += "host [" + values[rng.below(60)] + ".corp.example] ";
    if (roll >= 20 && roll < 35) text += "user [" + values[60 + rng.below(40)] + "] ";
    if (roll >= 50 && roll < 70) {
        text += "addr [" + pool[rng.below(pool.size())] + "] ";
    }
    text += "count [" + std::to_string(rng.below(100000)) + "]";
    return text;
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

int generate(const std::string& dir, long mb, uint64_t seed) {
    std::filesystem::create_directories(dir + "/tree");
    const std::vector<std::string> values = ruleValues();
    std::string patterns, list, sed, alternation;
    for (const std::string& v : values) {
        patterns += v + "\n";
        list += v + "\n";
        sed += "s/\\b" + v + "\\b/MaskedValue/gI\n";
        alternation += (alternation.empty() ? "" : "|") + v;
    }
    const std::string ipv4 = "\\b[0-9]{1,3}(?:\\.[0-9]{1,3}){3}\\b";
    patterns += ipv4 + "&#*#&##isregexmagic##.\n";
    sed += "s/\\b[0-9]{1,3}(\\.[0-9]{1,3}){3}\\b/MaskedAddress/g\n";  // ERE: no (?:
    const std::string perl = "s/\\b(?:" + alternation +
                             ")\\b/MaskedValue/gi;\n"
                             "s/\\b\\d{1,3}(?:\\.\\d{1,3}){3}\\b/MaskedAddress/g;\n";
    if (!writeText(dir + "/patterns.txt", patterns) || !writeText(dir + "/values.txt", list) ||
        !writeText(dir + "/rules.sed", sed) || !writeText(dir + "/rules.pl", perl)) {
        fprintf(stderr, "cannot write the rules into %s\n", dir.c_str());
        return 1;
    }
    Rng rng(seed);
    const std::vector<std::string> pool = addresses(rng);
    const uint64_t total = static_cast<uint64_t>(mb) << 20;
    FILE* all = fopen((dir + "/all.log").c_str(), "wb");
    FILE* small = fopen((dir + "/small.log").c_str(), "wb");
    if (!all || !small) return 1;
    uint64_t written = 0;
    time_t when = 1700000000;
    for (int part = 0; part < kTreeFiles; ++part) {
        char name[64];
        snprintf(name, sizeof name, "/tree/part_%02d.log", part);
        FILE* file = fopen((dir + name).c_str(), "wb");
        if (!file) return 1;
        const std::string header = host::formatLogFileHeader("WYD", values[part], when);
        fputs(header.c_str(), file);
        fputs(header.c_str(), all);
        const uint64_t limit = total * static_cast<uint64_t>(part + 1) / kTreeFiles;
        std::string buffer;
        while (written < limit) {
            when += static_cast<time_t>(rng.below(3));
            std::string line = host::formatEntryLine(10000 + static_cast<long>(rng.below(50000)),
                                                     1000 + rng.below(60000), when,
                                                     std::to_string(1000 + rng.below(20)), "1",
                                                     "Main", "[A:0]", message(rng, values, pool));
            line += '\n';
            written += line.size();
            buffer += line;
            if (buffer.size() > (1 << 20)) {
                fwrite(buffer.data(), 1, buffer.size(), file);
                fwrite(buffer.data(), 1, buffer.size(), all);
                if (written <= total / 10) fwrite(buffer.data(), 1, buffer.size(), small);
                buffer.clear();
            }
        }
        fwrite(buffer.data(), 1, buffer.size(), file);
        fwrite(buffer.data(), 1, buffer.size(), all);
        fclose(file);
    }
    fclose(all);
    fclose(small);
    printf("generated %s: %llu bytes in all.log and tree/, rules of 100 values and IPv4\n",
           dir.c_str(), static_cast<unsigned long long>(written));
    return 0;
}

// A diagnostics archive: folders of JSON, YAML and log files, most of them a few KiB, one in
// ten up to 1 MiB, in which 300 site values occur (100 IPv4 addresses, 100 MAC addresses, 100
// domain names) next to addresses and MAC addresses that only the two expressions catch.
std::string macAddress(Rng& rng) {
    char text[24];
    snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", (int)rng.below(256),
             (int)rng.below(256), (int)rng.below(256), (int)rng.below(256), (int)rng.below(256),
             (int)rng.below(256));
    return text;
}

// Half the values are the site's own (the rules), a quarter other addresses and a sixth other
// MAC addresses of the site's network, which only the expressions catch.
std::string archiveValue(Rng& rng, const std::vector<std::string>& site,
                         const std::vector<std::string>& others) {
    const size_t roll = rng.below(100);
    if (roll < 50) return site[rng.below(site.size())];
    if (roll < 90) return others[rng.below(others.size())];
    return std::string(kWords[rng.below(30)]) + "-" + std::to_string(rng.below(1000));
}

std::string archiveLine(Rng& rng, int kind, const std::vector<std::string>& site,
                        const std::vector<std::string>& others, time_t when) {
    const std::string key = kWords[rng.below(30)];
    const bool valued = rng.below(100) < 35;
    const std::string value =
        valued ? archiveValue(rng, site, others) : std::to_string(rng.below(100000));
    switch (kind) {
        case 0:
            return "  \"" + key + "\": \"" + value + "\",\n";
        case 1:
            return "  " + key + ": " + value + "\n";
        default:
            return host::formatEntryLine(10000 + static_cast<long>(rng.below(50000)),
                                         1000 + rng.below(60000), when, "1001", "1", "Main",
                                         "[A:0]",
                                         std::string(kWords[rng.below(30)]) + " " + key + " [" +
                                             value + "] " + kWords[rng.below(30)]) +
                   "\n";
    }
}

int generateArchive(const std::string& dir, int files, uint64_t seed) {
    Rng rng(seed);
    std::vector<std::string> site;
    for (int i = 0; i < 100; ++i) {
        site.push_back("10." + std::to_string(rng.below(256)) + "." +
                       std::to_string(rng.below(256)) + "." + std::to_string(1 + rng.below(254)));
    }
    for (int i = 0; i < 100; ++i) site.push_back(macAddress(rng));
    for (int i = 0; i < 100; ++i) {
        site.push_back(std::string(kWords[rng.below(30)]) + std::to_string(i) + "." +
                       kWords[rng.below(30)] + ".example.com");
    }
    std::vector<std::string> others;
    for (int i = 0; i < 1500; ++i) {
        others.push_back("192.168." + std::to_string(rng.below(256)) + "." +
                         std::to_string(rng.below(256)));
    }
    for (int i = 0; i < 1000; ++i) others.push_back(macAddress(rng));
    std::string patterns, alternation;
    for (const std::string& v : site) {
        patterns += v + "\n";
        alternation += (alternation.empty() ? "\\Q" : "|\\Q") + v + "\\E";
    }
    const std::string perl = "s/\\b(?:" + alternation +
                             ")\\b/MaskedValue/gi;\n"
                             "s/\\b\\d{1,3}(?:\\.\\d{1,3}){3}\\b/MaskedAddress/g;\n"
                             "s/\\b[0-9a-f]{2}(?::[0-9a-f]{2}){5}\\b/MaskedMac/gi;\n";
    patterns += "\\b[0-9]{1,3}(?:\\.[0-9]{1,3}){3}\\b&#*#&##isregexmagic##.\n";
    patterns += "\\b[0-9a-f]{2}(?::[0-9a-f]{2}){5}\\b&#*#&##isregexmagic##:\n";
    std::filesystem::create_directories(dir + "/archive");
    if (!writeText(dir + "/archive-patterns.txt", patterns) ||
        !writeText(dir + "/archive-rules.pl", perl)) {
        return 1;
    }
    const char* const folders[] = {"system", "network", "services", "logs", "config", "storage"};
    const char* const extensions[] = {".json", ".yaml", ".log"};
    unsigned long long total = 0;
    time_t when = 1700000000;
    for (int f = 0; f < files; ++f) {
        const int kind = static_cast<int>(rng.below(3));
        // Nine in ten files of 1 to 16 KiB, the rest of 16 KiB to 1 MiB, sizes spread evenly
        // on a logarithmic scale.
        const bool big = rng.below(10) == 0;
        const double share = static_cast<double>(rng.below(1000)) / 1000.0;
        const size_t bytes = static_cast<size_t>(big ? 16384.0 * std::pow(64.0, share)
                                                     : 1024.0 * std::pow(16.0, share));
        const std::string folder =
            dir + "/archive/" + folders[f % 6] + "/" + std::to_string(f % 40);
        std::filesystem::create_directories(folder);
        std::string text = kind == 0 ? "{\n" : "";
        while (text.size() < bytes)
            text += archiveLine(rng, kind, site, others, when += rng.below(2));
        if (kind == 0) text += "  \"end\": 0\n}\n";
        total += text.size();
        if (!writeText(folder + "/file" + std::to_string(f) + extensions[kind], text)) return 1;
    }
    printf("generated %s/archive: %d files, %llu bytes; rules of 300 values and 2 expressions\n",
           dir.c_str(), files, total);
    return 0;
}

bool loadRules(const std::string& path, ScrubRuleList& rules, ReplacementMap& map) {
    if (populateScrubPatternsFromFile(path, rules, map) != 0) {
        fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    return true;
}

unsigned long long sizeBelow(const std::string& path) {
    if (!std::filesystem::is_directory(path)) return std::filesystem::file_size(path);
    unsigned long long total = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(path)) {
        if (e.is_regular_file()) total += e.file_size();
    }
    return total;
}

void report(Clock::time_point started, const std::string& source) {
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    printf("seconds=%.3f in=%llu maxrss_kb=%ld\n", seconds, sizeBelow(source), usage.ru_maxrss);
}

int plain(const std::string& patterns, const std::string& source, const std::string& out) {
    ScrubRuleList rules;
    ReplacementMap map;
    if (!loadRules(patterns, rules, map)) return 1;
    const auto started = Clock::now();
    std::ifstream in(source, std::ios::binary);
    std::ofstream output(out, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || static_cast<unsigned char>(line[0]) < 0x20 ||
            static_cast<unsigned char>(line[0]) >= 0x80) {
            continue;
        }
        reference::scrubLine(line, &rules, &map);
        output << line << '\n';
    }
    output.close();
    report(started, source);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    host::setLogFilePath("");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate-archive" && argc >= 4) {
        return generateArchive(argv[2], atoi(argv[3]),
                               argc > 4 ? strtoull(argv[4], nullptr, 10) : 1);
    }
    if (mode == "generate" && argc >= 4) {
        return generate(argv[2], atol(argv[3]), argc > 4 ? strtoull(argv[4], nullptr, 10) : 1);
    }
    if (mode == "noscan" && argc == 5) {
        ScrubRuleList rules;
        ReplacementMap map;
        if (!loadRules(argv[2], rules, map)) return 1;
        const auto started = Clock::now();
        scrub::LineScrubber scrubber(
            std::make_shared<const scrub::CompiledRules>(rules, scrub::ScannerOptions{false}),
            scrub::NameSource(&map));
        if (!scrub::scrubFileWith(argv[3], argv[4], &scrubber)) return 1;
        report(started, argv[3]);
        return 0;
    }
    if ((mode == "single" || mode == "plain") && argc == 5) {
        if (mode == "plain") return plain(argv[2], argv[3], argv[4]);
        ScrubRuleList rules;
        ReplacementMap map;
        if (!loadRules(argv[2], rules, map)) return 1;
        const auto started = Clock::now();
        if (!scrubSingleLogFile(argv[3], argv[4], &rules, &map)) return 1;
        report(started, argv[3]);
        return 0;
    }
    if (mode == "tree" && argc == 6) {
        ScrubRuleList rules;
        ReplacementMap map;
        if (!loadRules(argv[2], rules, map)) return 1;
        const auto started = Clock::now();
        scrubFiles scrubber(atoi(argv[5]), 1800000);
        if (!scrubber.DoScrubbing(argv[3], argv[4], &rules, &map)) return 1;
        report(started, argv[3]);
        return 0;
    }
    fprintf(stderr,
            "usage: bench_scrub generate DIR MB [SEED] | generate-archive DIR FILES [SEED] | "
            "single PATTERNS SRC OUT | "
            "tree PATTERNS SRC OUT THREADS | plain PATTERNS SRC OUT\n");
    return 2;
}
