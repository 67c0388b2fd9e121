// 7z archives through the host archiver: a general archive of a list, the job results
// directory, and the certificates folder without private keys.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/Archiver.h"
#include "host/Archive.h"
#include "host/Export.h"

// Packs files and folders into archivePath. volumeSize (MiB, 0: one volume); fullPaths
// keeps the members' full paths. False when the archiver cannot start or the archive could
// not be written.
SL_API bool createArchive(char* archivePath, std::vector<std::string>& items, int volumeSize,
                          bool fullPaths);
// "JobResults.7z" of this client's job results directory (jobId 0) or of one job's folder,
// in destination; its path is appended to archives.
SL_API bool getJobResultsDirectory(const char* destination, std::vector<std::string>& archives,
                                   long long jobId);
// "Certificates.7z" of the certificates folder without private keys ("*_key.pem").
SL_API bool getCertificatesFolder(const char* destination, std::vector<std::string>& archives);
// Copies the files of sourceDir (and, with recurse, its folders) into destDir, leaving out
// files whose whole name matches skipPattern (a regular expression; empty: none).
void copyFilestoDir(std::string destDir, std::string sourceDir, bool recurse,
                    const std::string& skipPattern);
// Appends the certificates folder, without private keys, to a tar bundle.
SL_API bool GetCertificatesFolder(const char* tarBundle);

namespace bundle {

constexpr int kPathBuffer = 1024;
// Adds items; logs each failed file and, when the archiver failed, the error naming what.
// False when the archiver reported a failure.
bool addAndReport(C7zip& archiver, const std::string& archivePath,
                  const std::vector<std::string>& items, const char* tag, const std::string& what);
// "<dir>/<name>" within the 1023-byte path limit; empty (logged) when it does not fit.
std::string joinWithin(const std::string& dir, const char* name, const char* tag);

}  // namespace bundle
