#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/Gbk.h"

namespace {

// GBK characters whose trail bytes look like "\" (0x95 0x5C), "A" (0x81 0x41) and "Z" (0xB0 0x5A).
const std::string kTrailBackslash = "\x95\x5C";
const std::string kTrailA = "\x81\x41";
const std::string kTrailZ = "\xB0\x5A";

std::vector<std::pair<size_t, size_t>> Chars(const std::string& text) {
    std::vector<std::pair<size_t, size_t>> chars;
    ForEachGbkChar(text.data(), text.size(), [&chars](size_t at, size_t length) { chars.push_back({at, length}); });
    return chars;
}

std::vector<size_t> Separators(const std::string& text) {
    std::vector<size_t> positions;
    ForEachPathSeparator(text.data(), text.size(), [&positions](size_t at) { positions.push_back(at); });
    return positions;
}

std::string Lowered(std::string text) {
    LowerAsciiDbcs(&text[0], text.size());
    return text;
}

// Where a path starts: one place whatever the current folder (absolute), not at the current folder (rooted), or a
// drive alone (the install folder of a game at "G:\").
TEST(PathStart, AbsoluteRootedAndDriveRoot) {
    const struct {
        const char* path;
        bool absolute, rooted, driveRoot;
    } cases[] = {
        {"C:\\", true, true, false},
        {"c:/games", true, true, false},
        {"Z:\\a\\b", true, true, false},
        {"\\\\server\\share", true, true, false},
        {"//server/share/x", true, true, false},
        {"\\\\?\\C:\\x", true, true, false},
        {"C:", true, true, true},
        {"g:", true, true, true},
        {"", false, false, false},
        {".", false, false, false},
        {"game", false, false, false},
        {"game\\x", false, false, false},
        {"\\game", false, true, false},
        {"/game", false, true, false},
        {"C:game", false, true, false},
        {"\\\\", false, true, false},
        {"\\\\\\x", false, true, false},
        {"1:\\x", false, false, false},
        {"\xC8\xFD:\\x", false, false, false},
        {"G:x", false, true, false},
        {"1:", false, false, false},
        {"GG", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.absolute, IsAbsolutePath(c.path)) << c.path;
        EXPECT_EQ(c.rooted, IsRootedPath(c.path)) << c.path;
        EXPECT_EQ(c.driveRoot, IsDriveRoot(c.path)) << c.path;
    }
    EXPECT_FALSE(IsAbsolutePath(nullptr));
    EXPECT_FALSE(IsRootedPath(nullptr));
    EXPECT_FALSE(IsDriveRoot(nullptr));
}

}  // namespace

TEST(GbkWalk, TrailBytesBelongToTheirCharacter) {
    using Walk = std::vector<std::pair<size_t, size_t>>;
    EXPECT_EQ((Walk{{0, 1}, {1, 2}, {3, 2}, {5, 2}, {7, 1}}), Chars("a" + kTrailBackslash + kTrailA + kTrailZ + "b"));
    EXPECT_EQ(Walk{}, Chars(""));
    // A lead byte right after a lead byte is a trail byte.
    EXPECT_EQ((Walk{{0, 2}, {2, 1}}), Chars("\xB0\xB0/"));
}

TEST(GbkWalk, LoneLeadByteStandsAloneAndNeverSwallowsTheEndOrANul) {
    using Walk = std::vector<std::pair<size_t, size_t>>;
    EXPECT_EQ((Walk{{0, 1}, {1, 1}}), Chars("a\x95"));
    // The span ends before the byte after the lead: that byte is not read.
    const std::string text = "a\x95\\";
    std::vector<std::pair<size_t, size_t>> chars;
    ForEachGbkChar(text.data(), 2, [&chars](size_t at, size_t length) { chars.push_back({at, length}); });
    EXPECT_EQ((Walk{{0, 1}, {1, 1}}), chars);
    // A NUL is never a trail byte.
    EXPECT_EQ((Walk{{0, 1}, {1, 1}, {2, 1}}), Chars(std::string("\x95\0\\", 3)));
    EXPECT_EQ((std::vector<size_t>{2}), Separators(std::string("\x95\0\\", 3)));
}

TEST(GbkSeparators, MixedSeparatorsCountAndTrailBytesDoNot) {
    EXPECT_EQ((std::vector<size_t>{1, 4, 6}), Separators("a\\" + kTrailBackslash + "/b\\c"));
    EXPECT_EQ(std::vector<size_t>{}, Separators(kTrailBackslash + kTrailBackslash));
    EXPECT_EQ(6u, LastPathSeparator("D:/a\\b/c", 8));
    EXPECT_EQ(kNoSeparator, LastPathSeparator(kTrailBackslash.data(), kTrailBackslash.size()));
    EXPECT_EQ(kNoSeparator, LastPathSeparator("", 0));
}

TEST(GbkSeparators, UseBackslashesTurnsOnlySlashes) {
    std::string path = "C:/games/" + kTrailBackslash + "/a\\b.qvx";
    UseBackslashes(path);
    EXPECT_EQ("C:\\games\\" + kTrailBackslash + "\\a\\b.qvx", path);
}

TEST(GbkSeparators, SplitKeepsEmptyComponentsAndWholeCharacters) {
    using Parts = std::vector<std::string>;
    EXPECT_EQ((Parts{"a", "", "b", ""}), SplitPathComponents("a\\\\b/"));
    EXPECT_EQ((Parts{"q", kTrailBackslash + "x", "\x95"}), SplitPathComponents("q/" + kTrailBackslash + "x\\\x95"));
    EXPECT_EQ(Parts{""}, SplitPathComponents(""));
}

TEST(GbkLower, LowersSingleByteCapitalsOnly) {
    EXPECT_EQ("copyfont_high\\font00a.png", Lowered("CopyFont_HIGH\\Font00A.PNG"));
    EXPECT_EQ(kTrailA + "a" + kTrailZ + "z", Lowered(kTrailA + "A" + kTrailZ + "Z"));
    EXPECT_EQ("a\x95", Lowered("A\x95"));
    EXPECT_EQ("", Lowered(""));
}

TEST(GbkCut, WholeCharactersOnly) {
    struct Case {
        std::string text;
        size_t room;
        size_t expected;
    };
    const Case cases[] = {
        {"abcdef", 4, 4},
        {"abc" + kTrailA + "d", 4, 3},  // the character would straddle the cut
        {"abc" + kTrailA + "d", 5, 5},
        {"ab\x95", 10, 2},  // half a character at the end is dropped
        {"", 4, 0},
        {"abc", 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, WholeGbkPrefix(c.text.data(), c.text.size(), c.room)) << c.text << " " << c.room;
}

TEST(EntryNameRule, NamesInsideTheFolderPass) {
    for (const std::string name :
         {"quorvan", "quorvan\\data\\a.png", "quorvan/data/a.png", "quorvan\\.svn\\x", "quorvan\\a..b", "quorvan\\..a",
          "quorvan\\\x95\x5C.txt", "quorvan\\\x95", "a\\\x95\x5C..b", "SavePatch.qvx", "console", "com10", "lpt",
          "comx.txt", "nul_.txt", "auxiliary\\con1", ".con", "a.nul", "\xC4\xCF.txt"}) {
        EXPECT_EQ(EntryNameFault::kNone, FindEntryNameFault(name)) << name;
    }
}

TEST(EntryNameRule, EachFaultIsFound) {
    struct Case {
        std::string name;
        EntryNameFault fault;
    };
    const Case cases[] = {
        {"", EntryNameFault::kEmpty},
        {std::string("a\0b", 3), EntryNameFault::kNulByte},
        {"\\quorvan\\a", EntryNameFault::kAbsolute},
        {"/quorvan", EntryNameFault::kAbsolute},
        {"c:quorvan", EntryNameFault::kColon},
        {"C:\\drive.txt", EntryNameFault::kColon},
        {"quorvan\\a:stream", EntryNameFault::kColon},
        {"quorvan\\\x95:", EntryNameFault::kColon},  // even where a trail byte would stand
        {"quorvan\\\\a", EntryNameFault::kEmptyComponent},
        {"quorvan\\", EntryNameFault::kEmptyComponent},
        {"quorvan/../a", EntryNameFault::kDotsComponent},
        {"quorvan\\..\\a", EntryNameFault::kDotsComponent},
        {"quorvan\\..", EntryNameFault::kDotsComponent},
        {"..", EntryNameFault::kDotsComponent},
        {"quorvan\\.\\a", EntryNameFault::kDotsComponent},
        {"quorvan\\...\\a", EntryNameFault::kDotsComponent},
        {"quorvan\\.. \\a", EntryNameFault::kDotsComponent},
        {"quorvan\\a\\. ", EntryNameFault::kDotsComponent},
        // The system drops a component's trailing dots and spaces: "a." would be written as "a".
        {"quorvan\\a.", EntryNameFault::kTrailingDotOrSpace},
        {"quorvan\\a \\b", EntryNameFault::kTrailingDotOrSpace},
        {"a.txt. ", EntryNameFault::kTrailingDotOrSpace},
        {"a\\\x95\x5C..", EntryNameFault::kTrailingDotOrSpace},  // the dots after a whole character
        {"CON.", EntryNameFault::kTrailingDotOrSpace},
        // Devices, in every folder, in any case, with any extension, with spaces before the extension.
        {"con", EntryNameFault::kDeviceName},
        {"PRN", EntryNameFault::kDeviceName},
        {"quorvan\\Aux\\a", EntryNameFault::kDeviceName},
        {"quorvan\\nul.txt", EntryNameFault::kDeviceName},
        {"nul.tar.gz", EntryNameFault::kDeviceName},
        {"NUL .png", EntryNameFault::kDeviceName},
        {"quorvan/com1", EntryNameFault::kDeviceName},
        {"COM9.log", EntryNameFault::kDeviceName},
        {"com0", EntryNameFault::kDeviceName},
        {"lpt1", EntryNameFault::kDeviceName},
        {"LPT9.dat\\x", EntryNameFault::kDeviceName},
        {"conin$", EntryNameFault::kDeviceName},
        {"CONOUT$.txt", EntryNameFault::kDeviceName},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.fault, FindEntryNameFault(c.name)) << c.name;
        EXPECT_FALSE(IsSafeEntryName(c.name)) << c.name;
        EXPECT_STRNE("?", EntryNameFaultText(c.fault));
    }
    EXPECT_EQ(EntryNameFault::kEmpty, FindEntryNameFault(nullptr, 0));
}
