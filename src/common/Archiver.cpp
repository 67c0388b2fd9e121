#include "common/Archiver.h"

#include "host/Log.h"
#include "host/Registry.h"

unsigned int ReadCompressionLevel() {
    WYPlatformInfo registry;
    registry.setFocus(WYPI_Focus::getFocus());
    long level = 0;
    if (!registry.getNumber("EventManager", "nLogCompLevel", level)) return 1;
    return (level == 3 || level == 5 || level == 7 || level == 9) ? static_cast<unsigned>(level)
                                                                  : 1;
}

namespace common {

std::unique_ptr<C7zip> makeArchiver(const char* tag, ArchiverUse use, const bool* fullPaths) {
    WYPI_Base base;
    base.setFocus(WYPI_Focus::getFocus());
    const char* home = base.getHomeDirectory();
    auto archiver = std::make_unique<C7zip>(home ? home : "", kFormat7z);
    archiver->SetCompressionLevel(ReadCompressionLevel());
    if (fullPaths) archiver->SetUseFullFilePath(*fullPaths);
    CTeError err = archiver->Initialize();
    archiver->SetCompressSharedFiles(true);
    if (err.GetErrorCode() > 1) {
        EvDebug log;
        log.Error(tag, "Failed to initialize 7z archiver. Error Message:[%s]",
                  err.AsString().c_str());
        if (use == ArchiverUse::Compress) return nullptr;
    }
    return archiver;
}

}  // namespace common
