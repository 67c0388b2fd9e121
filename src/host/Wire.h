// Frame layout of the reply stream (docs/wire-protocol.md): a type byte, a big-endian 32-bit
// payload length, the payload. Shared by the writers (net.cpp) and the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace host {
namespace wire {

enum FrameType : uint8_t {
    kRecordBegin = 0x01,  // code u32
    kRecordField = 0x02,  // tag u32, bytes
    kRecordEnd = 0x03,    // status i32
    kFileBegin = 0x10,    // size u64, base name
    kFileData = 0x11,     // bytes
    kFileEnd = 0x12,      // size u64 (bytes actually sent), CRC-32 u32
};

constexpr size_t kHeaderSize = 5;
constexpr size_t kMaxFieldData = 1 << 20;     // bytes of one record field
constexpr size_t kMaxRecordFields = 4096;     // fields of one record
constexpr size_t kMaxRecordBytes = 16 << 20;  // field bytes of one record
constexpr size_t kMaxFileData = 64 * 1024;    // bytes of one file data frame
constexpr size_t kMaxFileName = 255;          // bytes of a streamed file's name

inline void putU32(std::string& out, uint32_t v) {
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

inline void putU64(std::string& out, uint64_t v) {
    putU32(out, static_cast<uint32_t>(v >> 32));
    putU32(out, static_cast<uint32_t>(v));
}

inline uint32_t getU32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

inline uint64_t getU64(const unsigned char* p) {
    return (uint64_t(getU32(p)) << 32) | getU32(p + 4);
}

// Appends a frame header for a payload of length bytes.
inline void putHeader(std::string& out, FrameType type, uint32_t length) {
    out += static_cast<char>(type);
    putU32(out, length);
}

// A streamed file's name is one path component: no "/", no NUL, not "." or "..".
inline bool validFileName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxFileName && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace wire
}  // namespace host
