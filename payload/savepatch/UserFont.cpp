#include "payload/savepatch/UserFont.h"

#include <cstring>

bool LayOutUserFont(const UserFontGrid& grid, const char* text, UserFontCell cells[kUserFontCells]) {
    const int glyphSize = grid.glyphSize;
    if (glyphSize < 1 || glyphSize > kMaxGlyphSize || grid.width != kGridColumns * glyphSize ||
        grid.height != kGridRows * glyphSize)
        return false;
    if (grid.firstColumn < 0 || grid.firstColumn + kUserFontCells > kGridColumns || grid.firstRow < 0 ||
        grid.firstRow >= kGridRows)
        return false;
    if (!text)
        return false;
    for (int i = 0; i < kUserFontCells; ++i) {
        const uint8_t lead = static_cast<uint8_t>(text[2 * i]);
        if (lead < 0x81)
            return false;  // also a text block cut short by its terminator
        const uint8_t trail = static_cast<uint8_t>(text[2 * i + 1]);
        if (trail == 0)
            return false;
        cells[i].left = (grid.firstColumn + i) * glyphSize;
        cells[i].top = grid.firstRow * glyphSize;
        cells[i].filler = lead == 0xA1 && trail == 0xA1;
        cells[i].lead = lead;
        cells[i].trail = trail;
    }
    return true;
}

void PlaceGlyph(std::vector<uint8_t>& bgra,
                int width,
                int glyphSize,
                const UserFontCell& cell,
                const uint8_t* coverage) {
    for (int y = 0; y < glyphSize; ++y) {
        uint8_t* row = bgra.data() + (static_cast<size_t>(cell.top + y) * width + cell.left) * 4;
        if (!coverage) {
            std::memset(row, 0, static_cast<size_t>(glyphSize) * 4);
            continue;
        }
        const uint8_t* ink = coverage + static_cast<size_t>(y) * glyphSize;
        for (int x = 0; x < glyphSize; ++x)
            std::memset(row + 4 * x, ink[x], 4);
    }
}
