// File and folder helpers of the host. Paths are UTF-8 byte strings joined with "/".
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "host/Error.h"

FILE* fopen_utf(const char* path, const char* mode);
int unlink_utf(const char* path);
int chmod_utf(const char* path, mode_t mode);
int lstat_utf(const char* path, struct stat* st);

class CTeDirectory {
  public:
    // recursive: create missing parents too. An existing directory is an error unless
    // recursive is set.
    static CTeError Create(const std::string& path, bool recursive);
    // recursive: remove the whole tree (symbolic links are removed, not followed).
    static CTeError Remove(const std::string& path, bool recursive, bool reserved);
};

class FXPath {
  public:
    // Joins base and part with one "/" (flags are accepted and not interpreted).
    static std::string Append(const std::string& base, const std::string& part, int flags);
};

class CTePath {
  public:
    static std::string GetBaseName(const std::string& path);  // text after the last "/"
    static std::string GetDirName(const std::string& path);   // text before the last "/"
};

class FXFile {
  public:
    static bool DoesFileExist(const std::string& path);  // any non-directory entry
    static CTeError RemoveFile(const std::string& path);
    static CTeError WYGetFileSize(const std::string& path, unsigned long long& size);
    // Opens an existing file for reading and writing (never creates). Null on failure.
    static FILE* WYCreateFile(const std::string& path);
    // Full paths of the entries of dir whose names match the shell pattern (fnmatch),
    // "." and ".." excluded, in name order. An error when dir cannot be read.
    static CTeError GetMatchingFiles(const std::string& dir, const std::string& pattern,
                                     std::vector<std::string>& out, bool recursive);
};

class FXFolder {
  public:
    static bool DoesFolderExist(const std::string& path);
};

class CTeFile {
  public:
    static CTeError Copy(const std::string& source, const std::string& destination);
};

class FXString {
  public:
    // Non-zero when needle occurs in text (ignoreCase selects a case-insensitive search).
    static int FindString(const std::string& text, const std::string& needle, bool ignoreCase);
    static bool CompareLeft(const std::string& text, const std::string& prefix);
    static std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
};

// Iterates the entries of one folder (option 0: this folder only).
class CSimpleFolderTreeIterator {
  public:
    struct Item {
        std::string name;
        std::string path;
        bool isFolder = false;
    };
    CTeError Open(const std::string& directory, const char* filter = nullptr);
    void SetOption(int option) { option_ = option; }
    // An error value when there is no further item.
    CTeError GetNextItem(Item& item);

  private:
    std::vector<Item> items_;
    size_t next_ = 0;
    int option_ = 0;
};

namespace host {

// Opens an existing regular file read-only. The open never waits on a FIFO or a device
// (O_NONBLOCK, cleared once the file is known to be regular). -1 with errno set on failure;
// anything but a regular file gives -1, errno EINVAL and notRegular set. st (when given)
// receives the file's status.
int openRegularFile(const char* path, struct stat* st = nullptr, bool* notRegular = nullptr);
// The two paths name the same existing file or folder (device and inode, links followed).
bool sameFile(const std::string& a, const std::string& b);
// path is folder itself or lies below it, links resolved. path need not exist yet (its
// longest existing ancestor is resolved); false when folder cannot be resolved.
bool isWithinFolder(const std::string& path, const std::string& folder);

}  // namespace host
