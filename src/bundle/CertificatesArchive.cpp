// The certificates folder, never with its private keys: as "Certificates.7z" of a filtered
// copy, or appended to a tar bundle.
#include <boost/exception/diagnostic_information.hpp>
#include <boost/regex.hpp>
#include <cstdio>

#include "bundle/Archive7z.h"
#include "common/TempFolders.h"
#include "host/File.h"
#include "host/FileHandle.h"
#include "host/Log.h"
#include "host/Process.h"
#include "host/Registry.h"

namespace {

const char* const kCopyTag = "void copyFilestoDir(std::string, std::string, bool, const string&)";
const char* const kPrivateKeyPattern = ".*_key.pem$";

void copyTree(const std::string& destDir, const std::string& sourceDir, bool recurse,
              const boost::regex* skip) {
    EvDebug log;
    CSimpleFolderTreeIterator entries;
    CTeError err = entries.Open(sourceDir, "*");
    if (err.IsError()) {
        log.Error(kCopyTag, "Failed to read directory [%s]. Error [%s]", sourceDir.c_str(),
                  err.AsString().c_str());
        return;
    }
    CSimpleFolderTreeIterator::Item item;
    while (!entries.GetNextItem(item).IsError()) {
        const std::string from = sourceDir + "/" + item.name;
        const std::string to = destDir + "/" + item.name;
        if (item.isFolder) {
            if (!recurse || item.name == "." || item.name == "..") continue;
            err = CTeDirectory::Create(to, false);
            if (err.IsError()) {
                log.Error(kCopyTag, "Failed to create directory[%s]. Error [%s]", to.c_str(),
                          err.AsString().c_str());
                continue;
            }
            copyTree(to, from, recurse, skip);
            continue;
        }
        if (skip && boost::regex_match(item.name, *skip)) {
            log.DebugLvl(kCopyTag, 6, "Skipping file: %s", item.name.c_str());
            continue;
        }
        err = CTeFile::Copy(from, to);
        if (err.IsError()) {
            log.Error(kCopyTag, "Failed to copy file [%s] to [%s]. Error [%s]", from.c_str(),
                      to.c_str(), err.AsString().c_str());
        }
    }
}

// The product's base directory; empty when the host has none.
std::string baseDirectory() {
    WYPI_PlatformBase base;
    base.setFocus(WYPI_Focus::getFocus());
    const char* dir = base.getBaseHomeDirectory();
    return dir ? dir : "";
}

}  // namespace

void copyFilestoDir(std::string destDir, std::string sourceDir, bool recurse,
                    const std::string& skipPattern) {
    EvDebug log;
    if (destDir.size() < 2 || sourceDir.size() < 2) {
        log.Error(kCopyTag, "Too short argument lengths. destDir[%zd] sourceDir[%zd]",
                  static_cast<ssize_t>(destDir.size()), static_cast<ssize_t>(sourceDir.size()));
        return;
    }
    if (!FXFolder::DoesFolderExist(sourceDir) || !FXFolder::DoesFolderExist(destDir)) {
        log.Error(kCopyTag, "Source Dir [%s] or Destination Dir[%s] does not exist.",
                  sourceDir.c_str(), destDir.c_str());
        return;
    }
    try {
        boost::regex skip;
        if (!skipPattern.empty()) skip.assign(skipPattern, boost::regex::perl);
        copyTree(destDir, sourceDir, recurse, skipPattern.empty() ? nullptr : &skip);
    } catch (const boost::exception& e) {
        log.Debug(kCopyTag, "Boost Exception [%s]", boost::diagnostic_information(e).c_str());
    } catch (const std::exception& e) {
        log.Debug(kCopyTag, "Boost Exception [%s]", e.what());
    }
}

bool getCertificatesFolder(const char* destination, std::vector<std::string>& archives) {
    const char* tag = "getCertificatesFolder";
    EvDebug log;
    const std::string base = baseDirectory();
    if (base.empty()) {
        log.Error(tag, "Failed to get base directory");
        return false;
    }
    if (!destination) {
        log.Error(tag, "No destination directory given.");
        return false;
    }
    std::string tempDir = "certificates";
    if (!getTempDirInJobResultsDir(tempDir)) {
        log.Error(tag,
                  "Error getting temp dir to copy certificates dir. Will skip collecting "
                  "certificates.");
        return false;
    }
    const std::string certificates = base + "/" + "certificates";
    copyFilestoDir(tempDir, certificates, true, kPrivateKeyPattern);

    const std::string archivePath = bundle::joinWithin(destination, "Certificates.7z", tag);
    if (!archivePath.empty()) {
        std::unique_ptr<C7zip> archiver = common::makeArchiver(tag, common::ArchiverUse::Compress);
        if (archiver) bundle::addAndReport(*archiver, archivePath, {tempDir}, tag, tempDir);
        archives.push_back(archivePath);
    }
    CTeError err = CTeDirectory::Remove(tempDir, true, false);
    if (err.IsError()) {
        log.Error(tag, "Errors while removing the temp cert copy dir[%s] Error:[%s]",
                  tempDir.c_str(), err.AsString().c_str());
    }
    return !archivePath.empty();
}

bool GetCertificatesFolder(const char* tarBundle) {
    const char* tag = "GetCertificatesFolder";
    if (!tarBundle || !*tarBundle) return false;
    EvDebug log;
    WYPlatformInfo platform;
    platform.setFocus(WYPI_Focus::getFocus());
    const char* client = platform.getPhysicalMachine();
    if (!client || !*client) {
        log.Debug(tag, "Couldn't retrieve physical machine client name");
        return false;
    }
    const std::string baseDir = baseDirectory();
    if (baseDir.empty()) {
        log.Error(tag, "Failed to get base directory");
        return false;
    }
    const std::string folder = baseDir + "/certificates";
    log.DebugLvl(tag, 6, "Collecting certificates folder %s", folder.c_str());
    if (!FXFolder::DoesFolderExist(folder)) {
        log.Error(tag, "Failed to access file [%s] for client [%s]", folder.c_str(), client);
        return false;
    }
    const bool append = static_cast<bool>(host::FileHandle::open(tarBundle, "r"));
    // Every regular file below the folder except private keys, stored relative to "/". A key
    // is any name that the 7z variant's expression ".*_key.pem$" takes: "_key", any one
    // character, "pem" at the end. The names travel NUL-separated, so no name is split or
    // expanded by the shell.
    const std::string command = "find " + host::shellQuote(folder) +
                                " -type f ! -name '*_key?pem' -print0 2>/dev/null | "
                                "sed -z 's/^\\///' | tar " +
                                (append ? "rvf " : "cvf ") + host::shellQuote(tarBundle) +
                                " -C / --null -T -";
    WyProcess::system(command.c_str(), nullptr, nullptr, 0);
    return true;
}
