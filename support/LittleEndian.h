#pragma once

#include <cstdint>

// 16- and 32-bit little-endian fields in memory, whatever the byte order of the machine: the package's records,
// program images, pictures and the window's region block. The caller sees to it that the bytes are there.

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
