#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/LittleEndian.h"

// Little-endian fields of a program image or a picture held in memory, at an offset of its buffer. Callers check the
// range with Has first; support/LittleEndian.h's AppendLe16 and AppendLe32 add a field at the end.

inline bool Has(const std::vector<unsigned char>& bytes, size_t offset, size_t count) {
    return offset <= bytes.size() && count <= bytes.size() - offset;
}
inline uint16_t Get16(const std::vector<unsigned char>& bytes, size_t offset) {
    return ReadLe16(bytes.data() + offset);
}
inline uint32_t Get32(const std::vector<unsigned char>& bytes, size_t offset) {
    return ReadLe32(bytes.data() + offset);
}
inline void Put16(std::vector<unsigned char>& bytes, size_t offset, uint16_t value) {
    PutLe16(bytes.data() + offset, value);
}
inline void Put32(std::vector<unsigned char>& bytes, size_t offset, uint32_t value) {
    PutLe32(bytes.data() + offset, value);
}
