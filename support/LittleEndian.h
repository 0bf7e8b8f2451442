#pragma once

#include <cstdint>
#include <vector>

// 16- and 32-bit little-endian fields in memory, whatever the byte order of the machine: the package's records,
// program images, pictures and the window's region block. The caller sees to it that the bytes are there; the
// AppendLe calls add a field at the end of a buffer.

inline uint16_t ReadLe16(const unsigned char* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline uint32_t ReadLe32(const unsigned char* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

inline void PutLe16(unsigned char* at, uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

inline void PutLe32(unsigned char* at, uint32_t value) {
    PutLe16(at, static_cast<uint16_t>(value));
    PutLe16(at + 2, static_cast<uint16_t>(value >> 16));
}

inline void AppendLe16(std::vector<unsigned char>& bytes, uint16_t value) {
    bytes.push_back(static_cast<unsigned char>(value));
    bytes.push_back(static_cast<unsigned char>(value >> 8));
}

inline void AppendLe32(std::vector<unsigned char>& bytes, uint32_t value) {
    AppendLe16(bytes, static_cast<uint16_t>(value));
    AppendLe16(bytes, static_cast<uint16_t>(value >> 16));
}
