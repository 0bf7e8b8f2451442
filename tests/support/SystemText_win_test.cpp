#include <windows.h>

#include <gtest/gtest.h>

#include "support/SystemText_win.h"

#include <string>

namespace {

bool IsTrailByte(unsigned b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

// Every two-byte code of GBK (lead 0x81..0xFE, trail 0x40..0x7E and 0x80..0xFE) either converts and comes back as
// the same two bytes, or is refused both ways; the ranges that hold Chinese text all convert.
TEST(SystemText, EveryDoubleByteCodeRoundTripsOrIsRefused) {
    int converted = 0;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (!IsTrailByte(trail))
                continue;
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            std::wstring wide;
            if (!WideFromGbk(bytes, 2, &wide))
                continue;
            ++converted;
            ASSERT_EQ(1u, wide.size()) << std::hex << lead << " " << trail;
            std::string back;
            ASSERT_TRUE(GbkFromWide(wide, &back)) << std::hex << lead << " " << trail;
            ASSERT_EQ(std::string(bytes, 2), back) << std::hex << lead << " " << trail;
        }
    }
    // GB2312's hanzi (0xB0A1..0xF7FE) and GBK/3 and GBK/4 alone are over 20,000 codes.
    EXPECT_GT(converted, 21000);
}

struct GbkCase {
    const char* name;
    std::string gbk;
    const wchar_t* wide;
};

TEST(SystemText, ConvertsKnownTexts) {
    const GbkCase cases[] = {
        {"empty", "", L""},
        {"ascii path", "C:\\Games\\a.txt", L"C:\\Games\\a.txt"},
        {"hanzi", "\xB0\xB2\xD7\xB0", L"\x5B89\x88C5"},                        // 安装
        {"trail byte is a backslash", "\x95\x5C\\x", L"\x661E\\x"},            // a trail byte 0x5C, then a separator
        {"embedded in a path", "C:\\\xBA\xBA\\1", L"C:\\\x6C49\\1"},          // 汉
    };
    for (const GbkCase& c : cases) {
        std::wstring wide;
        EXPECT_TRUE(WideFromGbk(c.gbk, &wide)) << c.name;
        EXPECT_EQ(std::wstring(c.wide), wide) << c.name;
        std::string back;
        EXPECT_TRUE(GbkFromWide(wide, &back)) << c.name;
        EXPECT_EQ(c.gbk, back) << c.name;
    }
}

TEST(SystemText, RefusesBytesThatAreNotGbk) {
    const std::string cases[] = {
        std::string("\xB0", 1),      // a lead byte at the end
        std::string("a\xB0", 2),     // the same after text
        std::string("\xB0\x20", 2),  // a lead byte before a space
        std::string("\xFF", 1),      // never a GBK byte
        std::string("\x81\x7F", 2),  // 0x7F is no trail byte
    };
    for (const std::string& bytes : cases) {
        std::wstring wide = L"x";
        EXPECT_FALSE(WideFromGbk(bytes, &wide)) << testing::PrintToString(bytes);
        EXPECT_TRUE(wide.empty());
        EXPECT_TRUE(Wide(bytes).empty());
        EXPECT_FALSE(WideForDisplay(bytes.data(), bytes.size()).empty()) << "shown all the same";
    }
}

TEST(SystemText, RefusesCharactersGbkCannotSpell) {
    const wchar_t* cases[] = {
        L"\xAE40",             // 김: Hangul
        L"C:\\\xD83D\xDE00",   // an emoji (a surrogate pair)
        L"\xD800",             // a lone surrogate
        L"\x00C5",             // Å: best fit would make it "A"
        L"\x0E01",             // Thai
    };
    for (const wchar_t* text : cases) {
        std::string gbk = "x";
        EXPECT_FALSE(GbkFromWide(text, &gbk)) << testing::PrintToString(std::wstring(text));
        EXPECT_TRUE(gbk.empty());
    }
}

}  // namespace
