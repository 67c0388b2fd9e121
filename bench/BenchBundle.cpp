// The final bundle's compression on its own, for bench/compare_bundle.sh.
//
//   bench_bundle compress FILE OUT [LEVEL] [MEMBER_KIB] [THREADS]
//       gzip members of FILE into OUT with the library's compressor (defaults: the
//       library's own settings)
//   bench_bundle crc FILE
//       the CRC-32 of FILE as the reply stream's sender and receiver compute it (zlib)
//
// Each prints "seconds=<s> ..." on one line.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bundle/GzipMembers.h"
#include "host/FileHandle.h"

namespace {

long maxRssKb() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int compress(int argc, char** argv) {
    bundle::GzipOptions options;
    if (argc > 4) options.level = std::atoi(argv[4]);
    if (argc > 5) options.memberBytes = static_cast<size_t>(std::atol(argv[5])) << 10;
    if (argc > 6) options.threads = static_cast<unsigned>(std::atoi(argv[6]));
    const int in = open(argv[2], O_RDONLY | O_CLOEXEC);
    host::FileHandle out = host::FileHandle::open(argv[3], "w");
    if (in < 0 || !out) {
        std::fprintf(stderr, "bench_bundle: cannot open %s or %s\n", argv[2], argv[3]);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    bool ok = bundle::gzipMembers(in, out.get(), options, error);
    const long long written = ok ? static_cast<long long>(ftello(out.get())) : 0;
    ok = out.close() && ok;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const off_t size = lseek(in, 0, SEEK_END);
    close(in);
    if (!ok) {
        std::fprintf(stderr, "bench_bundle: %s\n", error.c_str());
        return 1;
    }
    std::printf("seconds=%.3f in=%lld out=%lld maxrss_kb=%ld\n", seconds,
                static_cast<long long>(size), written, maxRssKb());
    return 0;
}

int crc(const char* path) {
    const int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0) return 1;
    std::vector<unsigned char> block(64 << 10);
    uLong value = crc32(0L, Z_NULL, 0);
    long long size = 0;
    const auto start = std::chrono::steady_clock::now();
    ssize_t got;
    while ((got = read(in, block.data(), block.size())) > 0) {
        value = crc32(value, block.data(), static_cast<uInt>(got));
        size += got;
    }
    close(in);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seconds=%.3f in=%lld crc=%08lx\n", seconds, size, value);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "compress") return compress(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "crc") return crc(argv[2]);
    std::fprintf(stderr,
                 "usage: bench_bundle compress FILE OUT [LEVEL] [MEMBER_KIB] [THREADS]\n"
                 "       bench_bundle crc FILE\n");
    return 2;
}
