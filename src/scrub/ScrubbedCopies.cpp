// Scrubbed copies of a mixed list and of a whole directory.
#include "scrub/ScrubbedCopies.h"

#include <algorithm>

#include "common/TempFolders.h"
#include "host/File.h"
#include "host/Log.h"
#include "scrub/FileScrubber.h"
#include "scrub/TreeScrubber.h"

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
    const std::string jobResults = common::thisMachineJobResultsDir(tag);
    if (jobResults.empty()) return -1;
    const std::string first = common::timeNamedPath(jobResults, "");
    std::string scrubDir;
    if (first.empty() || !common::createFreshFolder(first, scrubDir)) {
        log.Error(tag, "Failed to create temp dir [%s]",
                  first.empty() ? (jobResults + "/...").c_str() : scrubDir.c_str());
        return -1;
    }
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
