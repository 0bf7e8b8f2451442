#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Uncompressed 32-bit true-colour TGA, the format of the game's user-font textures. The 18-byte header:
//
//   0  id length 0          3  colour-map fields, 5 zero bytes     12 width  (16 bits, little-endian)
//   1  colour-map type 0    8  x origin 0 (16 bits)               14 height (16 bits, little-endian)
//   2  image type 2         10 y origin 0 (16 bits)               16 bits per pixel 32
//                                                                 17 descriptor 0x28: 8 alpha bits, top row first
//
// then width * height pixels of B, G, R, A, top row first, and the 26-byte TGA 2.0 footer (no extension or
// developer area).

inline constexpr int kTgaMaxSide = 65535;
inline constexpr size_t kTgaHeaderSize = 18;
inline constexpr size_t kTgaFooterSize = 26;

// The whole file for a picture of width * height BGRA pixels (top row first). False, with out untouched, when a
// side is not in 1..kTgaMaxSide or the pixel count does not match.
bool EncodeTga32(int width, int height, const std::vector<uint8_t>& bgra, std::vector<uint8_t>* out);
