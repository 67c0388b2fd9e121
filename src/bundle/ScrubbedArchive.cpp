#include "bundle/ScrubbedArchive.h"

#include "bundle/Archive7z.h"
#include "common/TempFolders.h"
#include "host/File.h"
#include "host/Log.h"
#include "scrub/ScrubbedCopies.h"

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
