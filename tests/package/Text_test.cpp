#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/Extract.h"
#include "package/Package.h"
#include "tools/packtool/PackageWriter.h"

namespace {

std::string Lowered(std::string text) {
    LowerAsciiDbcs(text);
    return text;
}

}  // namespace

TEST(LowerAsciiDbcs, LowersAsciiCapitalsOnly) {
    EXPECT_EQ("winpos.txt", Lowered("WinPos.TXT"));
    EXPECT_EQ("copyfont_high\\font00a.png", Lowered("CopyFont_HIGH\\Font00A.PNG"));
    EXPECT_EQ("", Lowered(""));
    EXPECT_EQ("0123/\\-_[]@", Lowered("0123/\\-_[]@"));
}

TEST(LowerAsciiDbcs, LeavesTrailBytesOfDoubleByteCharactersAlone) {
    // 0x81 0x41 and 0x95 0x5C are GBK characters whose trail bytes look like 'A' and '\'.
    EXPECT_EQ(
        "\x81\x41"
        "a",
        Lowered("\x81\x41"
                "A"));
    EXPECT_EQ(
        "\x95\x5C"
        "b\\c",
        Lowered("\x95\x5C"
                "B\\C"));
    // A capital right after a double-byte character is still lowered.
    EXPECT_EQ("\xB0\xB2z", Lowered("\xB0\xB2Z"));
}

TEST(LowerAsciiDbcs, StopsAtLoneLeadByteAndAtNul) {
    EXPECT_EQ("a\xB0", Lowered("A\xB0"));
    std::string withNul("AB\0CD", 5);
    LowerAsciiDbcs(withNul);
    EXPECT_EQ(std::string("ab\0CD", 5), withNul);
}

TEST(DescrambleHeader, KeyRestartsEvery23BytesAndPosition22IsPlain) {
    unsigned char bytes[50] = {};
    DescrambleHeader(bytes, sizeof bytes);
    EXPECT_EQ('m', bytes[0]);
    EXPECT_EQ('d', bytes[21]);
    EXPECT_EQ(0, bytes[22]);    // the key's terminator: stored as it is
    EXPECT_EQ('m', bytes[23]);  // the key starts again
    EXPECT_EQ(0, bytes[45]);
    EXPECT_EQ('o', bytes[47]);

    unsigned char text[] = "digest and names";
    unsigned char copy[sizeof text];
    std::memcpy(copy, text, sizeof text);
    DescrambleHeader(copy, sizeof copy);
    EXPECT_NE(0, std::memcmp(copy, text, sizeof text));
    DescrambleHeader(copy, sizeof copy);
    EXPECT_EQ(0, std::memcmp(copy, text, sizeof text));
}

// Headers go up to 512 bytes and the writer scrambles whatever it is given: the key keeps its period of 23 over
// any length, each byte by its own position.
TEST(DescrambleHeader, KeyKeepsItsPeriodOverLongRuns) {
    const char key[] = "mossy stonesRiver Bend";
    for (size_t size : {size_t(511), size_t(552), size_t(553), size_t(1500)}) {
        std::vector<unsigned char> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<unsigned char>(i * 7);
        DescrambleHeader(bytes.data(), size);
        for (size_t i = 0; i < size; ++i)
            ASSERT_EQ(static_cast<unsigned char>((i * 7) ^ static_cast<unsigned char>(key[i % 23])), bytes[i])
                << size << " " << i;
    }
}

TEST(Md5Hex, KnownAnswers) {
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Hex("", 0));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Hex("abc", 3));
    const char fox[] = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ("9e107d9d372bb6826bd81d3542a419d6", Md5Hex(fox, sizeof fox - 1));
}

TEST(DecompressExact, RefusesShortLongAndTrailingInput) {
    std::vector<unsigned char> body;
    const std::string content = "package body package body package body";
    ASSERT_TRUE(CompressLzo1x(reinterpret_cast<const unsigned char*>(content.data()), content.size(),
                              CompressionLevel::kFast, &body));
    std::vector<unsigned char> out(content.size());
    size_t produced = 0;
    EXPECT_TRUE(DecompressExact(body.data(), body.size(), out.data(), out.size(), &produced));
    EXPECT_EQ(content.size(), produced);
    EXPECT_EQ(content, std::string(out.begin(), out.end()));

    // Capacity one short: the output would overrun.
    EXPECT_FALSE(DecompressExact(body.data(), body.size(), out.data(), out.size() - 1, &produced));
    EXPECT_LE(produced, out.size() - 1);
    // Capacity one long: the stream ends early.
    std::vector<unsigned char> bigger(content.size() + 1);
    EXPECT_FALSE(DecompressExact(body.data(), body.size(), bigger.data(), bigger.size(), &produced));
    // A byte after the end-of-stream marker.
    std::vector<unsigned char> trailing = body;
    trailing.push_back(0);
    EXPECT_FALSE(DecompressExact(trailing.data(), trailing.size(), out.data(), out.size(), &produced));
    // Missing input.
    EXPECT_FALSE(DecompressExact(body.data(), body.size() - 1, out.data(), out.size(), &produced));
    EXPECT_FALSE(DecompressExact(body.data(), 0, out.data(), out.size(), &produced));
}
