#include <gtest/gtest.h>

#include <cstring>

// Every build compiles string literals as GBK: the installer's texts reach the A-functions as code page 936.
TEST(Charset, ChineseLiteralIsGbk) {
    const char text[] = "安装成功结束!";
    const unsigned char expected[] = {0xB0, 0xB2, 0xD7, 0xB0, 0xB3, 0xC9, 0xB9, 0xA6, 0xBD, 0xE1, 0xCA, 0xF8, '!', 0};
    ASSERT_EQ(sizeof expected, sizeof text);
    EXPECT_EQ(0, std::memcmp(expected, text, sizeof text));
}
