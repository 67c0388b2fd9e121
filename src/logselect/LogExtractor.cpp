#include "logselect/LogExtractor.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "host/log.h"
#include "host/registry.h"

namespace {

// The archiver is shared by every request of the process; its decompressions are serialised
// because the host archiver makes no promise about concurrent use of one object.
std::mutex& extractorUseLock() {
    static std::mutex lock;
    return lock;
}

std::string archiverHome() {
    WYPI_Base base;
    base.setFocus(WYPI_Focus::getFocus());
    const char* home = base.getHomeDirectory();
    if (home && *home) return home;
    const char* tmp = getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

C7zip* createExtractor() {
    std::string home = archiverHome();
    C7zip* archiver = new C7zip(home.c_str(), 2);
    CTeError error = archiver->Initialize();
    if (error.GetErrorCode() > 1) {
        EvDebug log;
        log.Error("getFilteredLogFiles", "Failed to initialize 7z archiver. Error Message:[%s]",
                  error.AsString().c_str());
    }
    return archiver;
}

}  // namespace

C7zip* logExtractor() {
    // Created once, on first use, by whichever thread comes first; never replaced or released
    // (requests running at process exit may still hold it).
    static C7zip* const extractor = createExtractor();
    return extractor;
}

CTeError decompressWithLogExtractor(const std::string& logDir, const std::string& fileName,
                                    std::string& path) {
    C7zip* extractor = logExtractor();
    std::lock_guard<std::mutex> guard(extractorUseLock());
    return DeCompressLogFile(logDir, fileName, path, extractor, nullptr);
}
