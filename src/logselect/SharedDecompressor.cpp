#include "logselect/SharedDecompressor.h"

#include <mutex>

#include "common/Archiver.h"

namespace {

// The archiver is shared by every request of the process; its decompressions are serialised
// because the host archiver makes no promise about concurrent use of one object.
std::mutex& useLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

C7zip* sharedDecompressor() {
    // Created once, on first use, by whichever thread comes first; never replaced or released
    // (requests running at process exit may still hold it).
    static C7zip* const archiver =
        common::makeArchiver("getFilteredLogFiles", common::ArchiverUse::Decompress).release();
    return archiver;
}

CTeError decompressWithSharedArchiver(const std::string& logDir, const std::string& fileName,
                                      std::string& path) {
    C7zip* archiver = sharedDecompressor();
    std::lock_guard<std::mutex> guard(useLock());
    return DeCompressLogFile(logDir, fileName, path, archiver, nullptr);
}
