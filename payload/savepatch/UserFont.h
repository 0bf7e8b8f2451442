#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// How CreateUserFont lays the eight characters of a custom-name text block into the game's font texture.
//
// The texture is a grid of 26 columns by 28 rows of square cells, each glyph-size pixels wide and high (832 x 896
// for size 32, 520 x 560 for size 20). The eight characters take eight cells side by side in one row: the
// constant arguments 5 and 2 of the installer's calls are the column and the row of the first of them, so the
// characters fill columns 5 to 12 of row 2. A character's cell is cleared and its glyph drawn into it; the cell of
// a filler (the ideographic space A1 A1) is only cleared. Every pixel outside the eight cells stays the source's.
//
// A drawn glyph is white with its coverage as alpha: B = G = R = A = coverage (0 where there is no ink).

inline constexpr int kGridColumns = 26;
inline constexpr int kGridRows = 28;
inline constexpr int kUserFontCells = 8;
inline constexpr int kMaxGlyphSize = 256;

struct UserFontCell {
    int left;  // pixel position of the cell's top left corner
    int top;
    bool filler;   // A1 A1: cleared, nothing drawn
    uint8_t lead;  // the GBK character, first byte first
    uint8_t trail;
};

// The texture's size, the glyph size, and the column and row of the grid cell that takes the first character.
struct UserFontGrid {
    int width;
    int height;
    int glyphSize;
    int firstColumn;
    int firstRow;
};

// Checks the geometry and the text block and works out the eight cells. The texture must be exactly the grid
// (width 26 * glyphSize, height 28 * glyphSize), the eight cells must lie in it, and the text must hold eight
// two-byte characters (lead byte 0x81 or above, trail byte not zero). False when any of that does not hold.
bool LayOutUserFont(const UserFontGrid& grid, const char* text, UserFontCell cells[kUserFontCells]);

// Clears one cell of a width-pixel-wide BGRA picture and puts the glyph's coverage (glyphSize * glyphSize values,
// top row first; null for a filler) into it.
void PlaceGlyph(std::vector<uint8_t>& bgra,
                int width,
                int glyphSize,
                const UserFontCell& cell,
                const uint8_t* coverage);
