// Scrubbing fronts: lists, the log directory, archives of scrubbed copies.
#include "scrub/ScrubFronts.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "bundle/Archive7z.h"
#include "collector/SupportDirectory.h"
#include "host/file.h"
#include "host/jobs.h"
#include "host/log.h"
#include "host/registry.h"
#include "scrub/FileScrubber.h"
#include "scrub/TreeScrubber.h"

namespace {

constexpr int kPathBuffer = 1024;

// Creates "<base>/<seconds>", or "<base>/<seconds>_<n>" when a request scrubbing at the same
// second already took that name. Empty on failure.
std::string createTimeNamedDir(const std::string& base, EvDebug& log, const char* tag) {
    char path[kPathBuffer];
    const int n = snprintf(path, sizeof path, "%s%c%u", base.c_str(), '/',
                           static_cast<unsigned>(time(nullptr)));
    if (n < 0 || n >= kPathBuffer) {
        log.Error(tag, "Failed to create temp dir [%s/...]: the path is longer than %d bytes",
                  base.c_str(), kPathBuffer - 1);
        return "";
    }
    std::string candidate = path;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        if (mkdir(candidate.c_str(), 0700) == 0) return candidate;
        if (errno != EEXIST) break;
        candidate = std::string(path) + "_" + std::to_string(attempt);
    }
    log.Error(tag, "Failed to create temp dir [%s]", candidate.c_str());
    return "";
}

}  // namespace

bool scrubFileOrDirList(const char* baseDir, std::vector<std::string> items, const char* destDir,
                        ScrubRuleList* rules, ReplacementMap* replacements,
                        std::vector<std::string>* output) {
    const char* tag =
        "bool scrubFileOrDirList(const char*, std::vector<std::string>, const char*, "
        "ScrubRuleList*, ReplacementMap*, std::vector<std::string>*)";
    EvDebug log;
    if (!destDir) {
        log.Error(tag, "No destination directory given to scrub into.");
        return true;
    }
    for (const std::string& item : items) {
        const std::string path = baseDir ? FXPath::Append(baseDir, item, 0) : item;
        const std::string target = FXPath::Append(destDir, CTePath::GetBaseName(path), 0);
        if (FXFolder::DoesFolderExist(path)) {
            log.Debug(tag, "Scrubbing directory src:[%s] dest[%s]", path.c_str(), target.c_str());
            if (scrubLogFiles(path.c_str(), target.c_str(), rules, replacements) && output &&
                std::find(output->begin(), output->end(), destDir) == output->end()) {
                // The whole destination directory is packed: once is enough.
                output->push_back(destDir);
            }
        } else if (FXFile::DoesFileExist(path)) {
            log.Debug(tag, "Scrubbing file SourceFile:[%s] DestFileNameFullPath: [%s] ",
                      path.c_str(), target.c_str());
            if (scrubSingleLogFile(path.c_str(), target.c_str(), rules, replacements) && output) {
                output->push_back(target);
            }
        } else {
            log.Error(tag, "Non-existent path in file/dir list to scrub:[%s]", path.c_str());
        }
    }
    return true;
}

int scrubLogFilesWrapper(std::string sourceDir, ScrubRuleList* rules, ReplacementMap* replacements,
                         bool& scrubbed, std::string& scrubbedDir) {
    const char* tag = "scrubLogFilesWrapper";
    EvDebug log;
    std::string machine;
    const std::string jobResults = host::thisMachineJobResultsDirectory(machine);
    if (jobResults.empty()) {
        log.Error(tag, "Could not retrieve job results directory for client [%s]", machine.c_str());
        return -1;
    }
    const std::string scrubDir = createTimeNamedDir(jobResults, log, tag);
    if (scrubDir.empty()) return -1;
    if (scrubLogFiles(sourceDir.c_str(), scrubDir.c_str(), rules, replacements)) {
        scrubbed = true;
        scrubbedDir = scrubDir;
        return 0;
    }
    CTeError err = CTeDirectory::Remove(scrubDir, true, false);
    if (err.IsError()) {
        log.Error(tag,
                  "Errors while removing the support dir. Please remove directory[%s] manually.",
                  scrubDir.c_str());
    }
    log.Error(tag, "Failed to scrub Files.");
    return -1;
}

bool archiveFileList(char* archivePath, const char* baseDir, std::vector<std::string> items,
                     bool scrub, ScrubRuleList* rules, ReplacementMap* replacements,
                     const char* label) {
    const char* tag = "archiveFileList";
    EvDebug log;
    const char* what = label ? label : "";
    const char* archive = archivePath ? archivePath : "";
    if (!archivePath) {
        log.Error(tag, "No archive path given to bundle %s logs.", what);
        return false;
    }
    if (!scrub) {
        if (createArchive(archivePath, items, 0, false)) return true;
        log.Error(tag, "Failed to bundle %s logs [%s].", what, archive);
        return false;
    }
    std::string tempDir = what;
    if (!getTempDirInJobResultsDir(tempDir)) {
        log.Error(tag, "Error getting temp dir to copy scrubbed %s logs. Will skip collecting.",
                  what);
        return false;
    }
    bool result = true;
    std::vector<std::string> scrubbedItems;
    scrubFileOrDirList(baseDir, items, tempDir.c_str(), rules, replacements, &scrubbedItems);
    if (scrubbedItems.empty()) {
        log.Error(tag, "No files found in scrubbed %s logs. Will skip collecting [%s].", what,
                  archive);
        result = false;
    } else if (!createArchive(archivePath, scrubbedItems, 0, false)) {
        log.Error(tag, "Failed to bundle %s scrubbed logs [%s].", what, archive);
        result = false;
    }
    CTeError err = CTeDirectory::Remove(tempDir, true, false);
    if (err.IsError()) {
        log.Error(tag,
                  "Errors while removing the temp scrub dir to copy [%s] logs in [%s] Error:[%s]",
                  what, tempDir.c_str(), err.AsString().c_str());
    }
    return result;
}
