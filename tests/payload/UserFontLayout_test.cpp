#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "payload/savepatch/Tga.h"
#include "payload/savepatch/UserFont.h"

namespace {

const char kText[] = "曹操\xA1\xA1\xA1\xA1关羽张飞";

unsigned Read16(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | (bytes[at + 1] << 8);
}

TEST(Tga, HeaderPixelsAndFooter) {
    std::vector<uint8_t> pixels(3 * 2 * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeTga32(3, 2, pixels, &file));
    ASSERT_EQ(kTgaHeaderSize + pixels.size() + kTgaFooterSize, file.size());
    EXPECT_EQ(0, file[0]);
    EXPECT_EQ(0, file[1]);
    EXPECT_EQ(2, file[2]);
    for (size_t at = 3; at < 12; ++at)
        EXPECT_EQ(0, file[at]) << at;
    EXPECT_EQ(3u, Read16(file, 12));
    EXPECT_EQ(2u, Read16(file, 14));
    EXPECT_EQ(32, file[16]);
    EXPECT_EQ(0x28, file[17]);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), file.begin() + kTgaHeaderSize));
    const std::string footer(file.end() - kTgaFooterSize, file.end());
    EXPECT_EQ(std::string(8, '\0') + "TRUEVISION-XFILE." + std::string(1, '\0'), footer);
}

TEST(Tga, RefusesBadSidesAndMismatchedPixelsLeavingOutputAlone) {
    std::vector<uint8_t> file = {1, 2, 3};
    EXPECT_FALSE(EncodeTga32(0, 2, {}, &file));
    EXPECT_FALSE(EncodeTga32(65536, 1, std::vector<uint8_t>(65536 * 4), &file));
    EXPECT_FALSE(EncodeTga32(2, 2, std::vector<uint8_t>(15), &file));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), file);
}

TEST(UserFontLayout, EightCellsFromTheFirstColumnAndRowOnward) {
    UserFontCell cells[kUserFontCells];
    ASSERT_TRUE(LayOutUserFont({832, 896, 32, 5, 2}, kText, cells));
    for (int i = 0; i < kUserFontCells; ++i) {
        EXPECT_EQ((5 + i) * 32, cells[i].left) << i;
        EXPECT_EQ(64, cells[i].top) << i;
        EXPECT_EQ(i == 2 || i == 3, cells[i].filler) << i;
    }
    EXPECT_EQ(0xB2, cells[0].lead);  // 曹 is B2 DC
    EXPECT_EQ(0xDC, cells[0].trail);
    ASSERT_TRUE(LayOutUserFont({520, 560, 20, 5, 2}, kText, cells));
    EXPECT_EQ(12 * 20, cells[7].left);
    EXPECT_EQ(40, cells[7].top);
}

TEST(UserFontLayout, RefusesGeometryOutsideTheGridAndBrokenText) {
    UserFontCell cells[kUserFontCells];
    EXPECT_FALSE(LayOutUserFont({832, 896, 20, 5, 2}, kText, cells));  // not the grid of this size
    EXPECT_FALSE(LayOutUserFont({830, 896, 32, 5, 2}, kText, cells));
    EXPECT_FALSE(LayOutUserFont({832, 890, 32, 5, 2}, kText, cells));
    EXPECT_FALSE(LayOutUserFont({0, 0, 0, 5, 2}, kText, cells));
    EXPECT_FALSE(LayOutUserFont({832, 896, 32, 19, 2}, kText, cells));  // the eighth cell would leave the row
    EXPECT_TRUE(LayOutUserFont({832, 896, 32, 18, 27}, kText, cells));
    EXPECT_FALSE(LayOutUserFont({832, 896, 32, 5, 28}, kText, cells));
    EXPECT_FALSE(LayOutUserFont({832, 896, 32, -1, 2}, kText, cells));
    EXPECT_FALSE(LayOutUserFont({832, 896, 32, 5, 2}, nullptr, cells));
    EXPECT_FALSE(LayOutUserFont({832, 896, 32, 5, 2}, "曹操", cells));                         // cut short
    EXPECT_FALSE(LayOutUserFont({832, 896, 32, 5, 2}, "曹操\xA1\xA1\xA1\xA1关羽张a", cells));  // a single byte
}

TEST(UserFontLayout, PlaceGlyphClearsTheCellAndWritesCoverageOnlyThere) {
    const int width = 4 * 3;
    std::vector<uint8_t> picture(static_cast<size_t>(width) * 3 * 4, 0x55);
    UserFontCell cell = {3, 3, false, 0xB2, 0xDC};
    std::vector<uint8_t> coverage(9);
    for (size_t i = 0; i < coverage.size(); ++i)
        coverage[i] = static_cast<uint8_t>(i * 10);
    std::vector<uint8_t> big(static_cast<size_t>(width) * 6 * 4, 0x55);
    PlaceGlyph(big, width, 3, cell, coverage.data());
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* pixel = &big[(static_cast<size_t>(y) * width + x) * 4];
            const bool inside = x >= 3 && x < 6 && y >= 3 && y < 6;
            const uint8_t expected = inside ? coverage[(y - 3) * 3 + (x - 3)] : 0x55;
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(expected, pixel[c]) << x << "," << y;
        }
    }
    PlaceGlyph(picture, width, 3, {6, 0, true, 0xA1, 0xA1}, nullptr);
    for (int y = 0; y < 3; ++y)
        for (int x = 6; x < 9; ++x)
            EXPECT_EQ(0u, picture[(static_cast<size_t>(y) * width + x) * 4 + 3]);
    EXPECT_EQ(0x55, picture[5 * 4]);
}

}  // namespace
