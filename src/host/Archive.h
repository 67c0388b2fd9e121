// The host archiver: 7z archives written with libarchive, and bz2 log decompression.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "host/Error.h"

class C7zip {
  public:
    // format 2 is 7z (the only one). home: a folder for the archiver's own temporary data.
    C7zip(const char* home, int format);
    ~C7zip();
    C7zip(const C7zip&) = delete;
    C7zip& operator=(const C7zip&) = delete;

    // Codes: 0 success; 1 a warning (success); above 1 failure.
    CTeError Initialize();
    void SetCompressionLevel(unsigned level);  // 1..9 (LZMA2 level)
    void SetUseFullFilePath(bool on);          // members keep their full path (without "/")
    void SetCompressSharedFiles(bool on);      // also archive files other processes have open
    // Split into volumes of size units (0 bytes, 1 KiB, 2 MiB, 3 GiB). The archive is written
    // whole, then cut into archive.7z.001, .002, ... of that size each, and the whole file is
    // removed; 7z reads the parts as one archive ("7z x archive.7z.001"). When the cut fails
    // the whole archive is kept and the result is a warning.
    void SetVolumeSize(unsigned long size, int unit);
    // A pattern relative to the parent of each added item, matched against the item's name
    // and the names below it (fnmatch, "*" crosses "/"). caseSensitive false ignores case;
    // recursive: a matching folder takes its whole subtree with it (otherwise only the
    // folder's own entry is left out and its contents are matched one by one).
    void AddExcludeList(const std::string& pattern, bool caseSensitive, bool recursive);
    // Adds files and whole folders. Without full paths a file is stored under its base name
    // and a folder under its own name with its tree below it. failures: per-file reasons.
    CTeError AddFilesToArchive(const std::string& archivePath,
                               const std::vector<std::string>& items,
                               std::map<std::wstring, std::wstring>& failures);

    // Decompresses one bz2 (or gzip) file into destination.
    CTeError DecompressFile(const std::string& source, const std::string& destination);

  private:
    struct Impl;
    Impl* impl_;
};

// Decompresses <sourceDir>/<fileName> into a fresh private temporary folder (mkdtemp under
// $TMPDIR or /tmp, named after this process). path: in the compressed file, out the
// decompressed copy's path. The copy is named copyName when given, else fileName without its
// ".bz2". A name with ".bz2" must hold bzip2 data; anything else that is not compressed data
// is refused too (code 2), never passed through as it is. With a null archiver a temporary
// one is used. The first call of a process removes the folders of processes that no longer
// exist.
CTeError DeCompressLogFile(const std::string& sourceDir, const std::string& fileName,
                           std::string& path, C7zip* archiver, const char* copyName);

namespace host {
// Removes the decompression folders (and the copies in them) that processes of this user left
// behind when they were killed; folders of running processes stay.
void removeStaleDecompressFolders();
// The same, once per process (the first decompression does it).
void removeStaleDecompressFoldersOnce();
}  // namespace host

// Copies the open file into the gzip stream; non-zero on success.
int gz_compress(FILE* in, gzFile out);
