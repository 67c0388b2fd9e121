// Reads everything a result holds: the files of a folder, and the members of every archive
// and compressed file in it (tar, 7z, zip, gzip, bzip2, xz ...), nested ones included. What
// cannot be opened or read is reported, never skipped in silence.
#pragma once

#include <cstddef>
#include <string>

namespace host {

// The bytes of one file or member.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to size bytes; 0 at the end; -1 when the data cannot be read (see error()).
    virtual long read(char* data, size_t size) = 0;
    virtual std::string error() const = 0;
};

class ContentSink {
  public:
    virtual ~ContentSink() = default;
    // The content of one file or member. name: the path below the walked folder (or the
    // walked file's own path); a member of an archive is "<archive>!<member>".
    virtual void onContent(const std::string& name, ByteSource& bytes) = 0;
    // Something that could not be opened or read.
    virtual void onUnreadable(const std::string& name, const std::string& reason) = 0;
};

// Walks path (a file or a folder). Symbolic links are not followed (what they point to is
// not part of the result); FIFOs, sockets and devices are reported as unreadable. Archives
// nested deeper than a few levels are reported as unreadable too.
void walkContents(const std::string& path, ContentSink& sink);

}  // namespace host
