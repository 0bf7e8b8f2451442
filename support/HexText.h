#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The lower-case hexadecimal text of bytes, two digits a byte: how the package's record headers and the helper
// library's list write an MD5 digest.
inline std::string LowerHex(const uint8_t* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * size);
    for (size_t i = 0; i < size; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0xF]);
    }
    return text;
}
