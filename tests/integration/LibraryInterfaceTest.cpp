// The shared library exports exactly its interface and loads without missing symbols.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/TestEnv.h"

namespace {

const char* const kLibrary = SENDLOGS_BINARY_DIR "/libsendlogs.so";

const std::set<std::string> kInterface = {
    // request entry and staging
    "gatherInfoNLogs", "gatherAndSendESXLogs", "createSupportDirectory",
    "getTempDirInJobResultsDir", "is_tessaro_ma", "DeleteOldLogBundles", "CleanUpTempData",
    // log selection
    "getFilteredLogFiles", "getServiceLogsByJobId", "getNonServiceLogsByJobId", "DumpJobInfo",
    "getLogFilesByTime", "findFileOffsets", "getFilesList", "getLogFilesList", "canIncludeFile",
    "ParseLogLine", "GetIdStr", "getIdStr", "getJobInfo", "GetToken", "FindLogType",
    "GetBaseLogFileName", "splitFilePath", "PrintHeader", "printErrorMsg",
    // job result files, tar bundles and the final bundle
    "bundleProxyClientLogsAndJR", "getJobResultFilePath", "getRmanLogByJobId", "getFLRResult",
    "bundleLogs", "bundleJobResultLogs", "runCommand", "compressTarFile", "compressFile",
    "runWyDiagnostics", "getWyPerfMgrLogAnalysisReport",
    // scrubbing
    "populateScrubPatternsFromFile", "createIgnoreCaseScrubPatternConfig",
    "_createBitMapFromString", "createIgnoreCaseBitMap", "createCaseBitMap", "overlapBitMap",
    "includeBitMap", "excludeBitMap", "existRegexReservedChar", "toLowerStr",
    "searchAndUpdateReplaceStringMap", "cscrubLines", "defaultScrubbingReplaceStr",
    "defaultCustomLineScrubSuffixStr", "defaultScrubbingExpr", "scrubLogLine",
    "includeLogLineHeader", "checkScrubCustomLinePatterns", "SearchContent", "scrubSingleLogFile",
    "scrubLogFiles", "scrubFileOrDirList", "scrubLogFilesWrapper", "archiveFileList",
    "scrubFiles::DoScrubbing", "scrubFiles::scrubLogFilesHelper", "scrubFiles::ScrubSingleFile",
    // 7z archives
    "createArchive", "getJobResultsDirectory", "getCertificatesFolder", "GetCertificatesFolder",
    "ReadCompressionLevel",
    // system diagnostics
    "bundleSystemLogs", "getCommandOutput", "bundleWysnapcore", "bundleTessaroLogs", "isKolvraNode",
    "runKolvraCollectionScript",
    // registry dump
    "getOrvionRegistryInfo",
    // delivery
    "uploadWithFtp", "uploadWithHttp", "uploadToCloud", "unixBrowseCreateNewFolder"};

// Defined dynamic symbols without parameter lists and ABI tags (nor sanitizer hooks).
std::set<std::string> exportedNames() {
    std::set<std::string> names;
    const std::string listing = testenv::output(std::string("nm -DC --defined-only ") + kLibrary);
    for (const std::string& line : testenv::splitLines(listing)) {
        const size_t nameStart = line.find(' ', line.find(' ') + 1);
        if (nameStart == std::string::npos) continue;
        std::string name = line.substr(nameStart + 1);
        name = name.substr(0, name.find('('));
        name = name.substr(0, name.find("[abi"));
        if (name.rfind("__", 0) != 0 && name.find("san") == std::string::npos) names.insert(name);
    }
    return names;
}

TEST(LibraryInterface, ExportsExactlyTheInterface) {
    std::set<std::string> names = exportedNames();
    ASSERT_FALSE(names.empty()) << "nm found nothing in " << kLibrary;
    for (const std::string& name : kInterface)
        EXPECT_EQ(1u, names.count(name)) << "missing " << name;
    for (const std::string& name : names) EXPECT_EQ(1u, kInterface.count(name)) << "extra " << name;
}

TEST(LibraryInterface, LoadsWithEveryReferenceResolved) {
    void* handle = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, handle) << dlerror();
    dlclose(handle);
}

}  // namespace
