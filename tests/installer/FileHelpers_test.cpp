#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/FileHelpers.h"

namespace {

// 0x95 0x5C is one GBK character whose second byte equals "\".
const std::string kTrailBackslash = "\x95\x5C";

std::string DirPart(const std::string& path) {
    const char* result = DirPartOf(path.c_str());
    return result ? std::string(result) : std::string("<refused>");
}

}  // namespace

TEST(DirPartOf, CutsAtTheLastSeparator) {
    struct Case {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {"D:\\Games\\SM3\\Shin Sangokumusou 3.exe", "D:\\Games\\SM3"},
        {"C:\\x.exe", "C:"},
        {"x.exe", ""},
        {"", ""},
        {"\\x.exe", ""},
        {"D:/Games\\SM3/a.exe", "D:/Games\\SM3"},
        {"D:\\Games\\", "D:\\Games"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, DirPart(c.path)) << c.path;
}

TEST(DirPartOf, TrailByteBackslashIsNoSeparator) {
    EXPECT_EQ("D:\\dir", DirPart("D:\\dir\\a" + kTrailBackslash + "b.exe"));
    EXPECT_EQ("D:\\a" + kTrailBackslash, DirPart("D:\\a" + kTrailBackslash + "\\b.exe"));
    EXPECT_EQ("", DirPart(kTrailBackslash + "name"));
}

TEST(DirPartOf, LoneLeadByteEndsTheScan) {
    EXPECT_EQ("D:\\dir", DirPart("D:\\dir\\a\x95"));
    EXPECT_EQ("D:", DirPart("D:\\dir\x95"));
}

TEST(DirPartOf, RefusesRatherThanCutsALongFolderPart) {
    const std::string fits(kMaxDirPart, 'f');
    EXPECT_EQ(fits, DirPart(fits + "\\a.exe"));
    const std::string tooLong(kMaxDirPart + 1, 'f');
    EXPECT_EQ(nullptr, DirPartOf((tooLong + "\\a.exe").c_str()));
    // A long file name after a short folder is no problem.
    EXPECT_EQ("C:", DirPart("C:\\" + std::string(400, 'n')));
}

TEST(EndsWith, ComparesTheLastBytes) {
    EXPECT_TRUE(EndsWith("abc", ""));
    EXPECT_TRUE(EndsWith("", ""));
    EXPECT_TRUE(EndsWith("a.txt", ".txt"));
    EXPECT_TRUE(EndsWith(".txt", ".txt"));
    EXPECT_FALSE(EndsWith("txt", ".txt"));
    EXPECT_FALSE(EndsWith("a.TXT", ".txt"));
    EXPECT_FALSE(EndsWith("a.txt", ".txu"));
    EXPECT_FALSE(EndsWith("", "x"));
}

TEST(SeparatorPositions, SkipsTrailBytesAndHonoursTheLimit) {
    std::vector<size_t> positions;
    ASSERT_TRUE(SeparatorPositions(("a\\" + kTrailBackslash + "/b\\c").c_str(), positions));
    EXPECT_EQ((std::vector<size_t>{1, 4, 6}), positions);

    std::string atLimit(kMaxDirPrefix, 'd');
    ASSERT_TRUE(SeparatorPositions((atLimit + "\\f").c_str(), positions));
    EXPECT_EQ((std::vector<size_t>{kMaxDirPrefix}), positions);

    std::string beyond = "c:\\" + std::string(kMaxDirPrefix, 'd');
    EXPECT_FALSE(SeparatorPositions((beyond + "\\f").c_str(), positions));
    EXPECT_TRUE(positions.empty());
}

// A game at the root of a drive: its install folder is the drive alone, which names one place like any other
// absolute folder, and keeps its separator only where the user reads it.
TEST(InstallFolder, DriveRootIsAnAbsoluteFolderGivenWithoutItsSeparator) {
    struct Case {
        std::string mark;
        bool accepted;
        std::string folder;
    };
    const Case cases[] = {
        {"G:", true, "G:"},
        {"G:\\", true, "G:"},
        {"g:/", true, "g:"},
        {"G:\\\\", true, "G:"},
        {"C:\\Games\\SM3\\", true, "C:\\Games\\SM3"},
        {"C:\\Games\\SM3", true, "C:\\Games\\SM3"},
        {"\\\\server\\share\\", true, "\\\\server\\share"},
        {"C:\\" + kTrailBackslash, true, "C:\\" + kTrailBackslash},  // its last byte is no separator
        {"", false, ""},
        {"G:game", false, ""},
        {"\\game", false, ""},
        {"\\\\", false, ""},
    };
    for (const Case& c : cases) {
        std::string folder = c.mark;
        EXPECT_EQ(c.accepted, NormaliseInstalledFolder(folder)) << c.mark;
        EXPECT_EQ(c.accepted ? c.folder : c.mark, folder) << c.mark;
    }
    EXPECT_EQ("G:\\", FolderForDisplay("G:"));
    EXPECT_EQ("C:\\Games\\SM3", FolderForDisplay("C:\\Games\\SM3"));
    EXPECT_EQ("G:", DirPart("G:\\Shin Sangokumusou 3.exe"));
}

TEST(IsPackEntryName, OnlyNamesBelowThePackFolderBelongToThePack) {
    for (const char* name : {"quorvan\\readme.txt", "quorvan/a", "quorvan\\data\\x.bin"})
        EXPECT_TRUE(IsPackEntryName(name)) << name;
    for (const char* name : {"quorvan", "quorvan.ini", "quorvanx\\a.txt", "quorvan:stream", "xquorvan\\a", ""})
        EXPECT_FALSE(IsPackEntryName(name)) << name;
}
