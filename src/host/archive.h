// The host archiver: 7z archives written with libarchive, and bz2 log decompression.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "host/error.h"

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
    // Split into volumes of size units (unit 2: MiB): archive.7z.001, .002, ...
    void SetVolumeSize(unsigned long size, int unit);
    // A pattern relative to the parent of each added folder, matched against member names
    // (fnmatch, "*" crosses "/").
    void AddExcludeList(const std::string& pattern, bool caseSensitive, bool recursive);
    // Adds files and whole folders. Without full paths a file is stored under its base name
    // and a folder under its own name with its tree below it. failures: per-file reasons.
    CTeError AddFilesToArchive(const std::string& archivePath, const std::vector<std::string>& items,
                               std::map<std::wstring, std::wstring>& failures);

    // Decompresses one bz2 (or gzip) file into destination.
    CTeError DecompressFile(const std::string& source, const std::string& destination);

private:
    struct Impl;
    Impl* impl_;
};

// Decompresses <sourceDir>/<fileName> into a fresh private temporary folder (mkdtemp under
// $TMPDIR or /tmp). path: in the compressed file, out the decompressed copy's path. The copy
// is named copyName when given, else fileName without its ".bz2". With a null archiver a
// temporary one is used.
CTeError DeCompressLogFile(const std::string& sourceDir, const std::string& fileName,
                           std::string& path, C7zip* archiver, const char* copyName);

// Copies the open file into the gzip stream; non-zero on success.
int gz_compress(FILE* in, gzFile out);
