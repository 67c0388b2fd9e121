// A file compressed into one standard gzip file made of independent members (RFC 1952
// allows any number; gunzip and "tar -z" read them as one stream). Each member holds a fixed
// amount of input, so the members are compressed on several cores at once, and memory stays
// the same whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace bundle {

struct GzipOptions {
    int level = 7;                  // libdeflate level (1 to 12)
    size_t memberBytes = 1u << 20;  // input bytes per member
    unsigned threads = 0;           // compressing threads; 0: one per hardware thread (max 8)
};

// Reads inFd to its end and writes the gzip members to out, in input order, through the
// library's write seam. False with a reason when a read, the compression or a write failed;
// out is then incomplete, and the caller removes it.
bool gzipMembers(int inFd, FILE* out, const GzipOptions& options, std::string& error);

}  // namespace bundle
