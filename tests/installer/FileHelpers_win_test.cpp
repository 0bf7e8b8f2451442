#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "installer/FileHelpers.h"
#include "installer/FileWrite_win.h"
#include "package/Package.h"
#include "support/HeldFolder_win.h"
#include "tests/common/HostLinks_win.h"
#include "tests/common/TempDir.h"
#include "tests/installer/WideFiles_win.h"

namespace {

std::string Lower(std::string text) {
    LowerAsciiDbcs(text);
    return text;
}

std::vector<std::string> Sorted(std::vector<std::string> list) {
    std::sort(list.begin(), list.end());
    return list;
}

bool IsFolderAt(const std::string& path) {
    DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void NewFolder(const std::string& path) {
    ASSERT_TRUE(MakeFolder(path)) << path;
}

std::vector<std::string> Entries(const std::string& folder) {
    return FolderEntries(folder);
}

}  // namespace

TEST(WriteFileMakingDirs, CreatesEveryMissingFolderOfTheChain) {
    TempDir dir;
    const std::string path = dir.Join("a\\b/c\\file.bin");
    const std::string bytes("\0\1\2payload", 10);
    ASSERT_TRUE(WriteFileMakingDirs(bytes.data(), bytes.size(), path.c_str()));
    std::string read;
    ASSERT_TRUE(ReadBytes(path, &read));
    EXPECT_EQ(bytes, read);
    EXPECT_TRUE(IsFolderAt(dir.Join("a\\b\\c")));

    // An existing file is replaced whole.
    ASSERT_TRUE(WriteFileMakingDirs("xy", 2, path.c_str()));
    ASSERT_TRUE(ReadBytes(path, &read));
    EXPECT_EQ("xy", read);
}

TEST(WriteFileMakingDirs, ZeroBytesMakeAnEmptyFile) {
    TempDir dir;
    const std::string path = dir.Join("new\\empty.dat");
    ASSERT_TRUE(WriteFileMakingDirs(nullptr, 0, path.c_str()));
    std::string read = "not read";
    ASSERT_TRUE(ReadBytes(path, &read));
    EXPECT_EQ("", read);
}

TEST(WriteFileMakingDirs, FolderNameWithTrailBackslashStaysWhole) {
    TempDir dir;
    // "x" + the GBK character 0x95 0x5C + "y": one folder, not "x\x95" and "y".
    const std::string folder = dir.Join("x\x95\x5Cy");
    ASSERT_TRUE(WriteFileMakingDirs("1", 1, (folder + "\\f.txt").c_str()));
    EXPECT_EQ(std::vector<std::string>{"x\x95\x5Cy"}, Entries(dir.path()));
    EXPECT_EQ(std::vector<std::string>{"f.txt"}, Entries(folder));
}

TEST(WriteFileMakingDirs, PathWithSeparatorBeyondTheLimitIsRefusedWhole) {
    TempDir dir;
    const std::string path = dir.Join("new\\" + std::string(kMaxDirPrefix, 'd') + "\\f.txt");
    EXPECT_FALSE(MakeDirsForPath(path.c_str()));
    EXPECT_FALSE(WriteFileMakingDirs("1", 1, path.c_str()));
    EXPECT_TRUE(Entries(dir.path()).empty());
}

// A disk that fills up part way: the file already there keeps its bytes, and no new file of ours stays.
bool WriteHalfAndFail(HANDLE file, const void* bytes, size_t size) {
    WriteWholeBuffer(file, bytes, size / 2);
    return false;
}

TEST(WriteFileMakingDirs, BytesThatDoNotReachTheDiskLeaveTheFileAsItWas) {
    TempDir dir;
    const std::string path = dir.Join("sub\\file.bin");
    ASSERT_TRUE(WriteFileMakingDirs("before", 6, path.c_str()));
    InstallerDependencies full = Dependencies();
    full.fileWriter = WriteHalfAndFail;
    SetInstallerDependencies(full);
    const std::string bytes(100000, 'b');
    const bool written = WriteFileMakingDirs(bytes.data(), bytes.size(), path.c_str());
    FileFault fault = FileFault::kNone;
    const bool replaced = ReplaceFileWith(bytes.data(), bytes.size(), path.c_str(), &fault);
    SetInstallerDependencies(InstallerDependencies());
    EXPECT_FALSE(written);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(FileFault::kOther, fault);
    EXPECT_TRUE(FileHolds(path.c_str(), "before", 6));
    EXPECT_EQ(std::vector<std::string>{"file.bin"}, Entries(dir.Join("sub")));
}

TEST(ListFilesRecursive, ListsLowerCasedFilesAndSkipsDotFolders) {
    TempDir dir;
    // "\x81\x41" is a GBK character whose second byte is "A"; it must stay a capital.
    const std::string gbkName = "B\x81\x41.TXT";
    ASSERT_TRUE(WriteBytes(dir.Join("Top.TXT"), "1"));
    ASSERT_TRUE(WriteBytes(dir.Join(".profile"), "1"));
    NewFolder(dir.Join("Sub"));
    ASSERT_TRUE(WriteFileBytes(dir.Join("Sub\\" + gbkName), "1"));
    NewFolder(dir.Join("Sub\\Deep"));
    ASSERT_TRUE(WriteBytes(dir.Join("Sub\\Deep\\x.dat"), "1"));
    NewFolder(dir.Join(".svn"));
    ASSERT_TRUE(WriteBytes(dir.Join(".svn\\entries.txt"), "1"));

    std::vector<std::string> all;
    ListFilesRecursive(dir.path().c_str(), all);
    const std::string top = Lower(dir.Join("top.txt"));
    const std::string gbk = Lower(dir.Join("sub\\b\x81\x41.txt"));
    const std::string deep = Lower(dir.Join("sub\\deep\\x.dat"));
    EXPECT_EQ(Sorted({top, Lower(dir.Join(".profile")), gbk, deep}), Sorted(all));
    EXPECT_NE(std::string::npos, gbk.find("\x81\x41"));

    std::vector<std::string> texts;
    ListFilesRecursive(dir.path().c_str(), texts, ".txt");
    EXPECT_EQ(Sorted({top, gbk}), Sorted(texts));

    // Paths are lower-cased before the test, so a capital suffix never matches.
    std::vector<std::string> capitals;
    ListFilesRecursive(dir.path().c_str(), capitals, ".TXT");
    EXPECT_TRUE(capitals.empty());
}

TEST(ListFilesRecursive, AppendsAndLeavesTheListAloneForAMissingFolder) {
    TempDir dir;
    std::vector<std::string> list{"kept"};
    ListFilesRecursive(dir.Join("missing").c_str(), list);
    EXPECT_EQ(std::vector<std::string>{"kept"}, list);

    ASSERT_TRUE(WriteBytes(dir.Join("a"), "1"));
    ListFilesRecursive(dir.path().c_str(), list);
    EXPECT_EQ((std::vector<std::string>{"kept", Lower(dir.Join("a"))}), list);
}

TEST(ListDirsRecursive, ListsDeepestFoldersFirst) {
    TempDir dir;
    NewFolder(dir.Join("A"));
    NewFolder(dir.Join("A\\B"));
    NewFolder(dir.Join("A\\B\\C"));
    NewFolder(dir.Join(".git"));
    NewFolder(dir.Join(".git\\objects"));
    ASSERT_TRUE(WriteBytes(dir.Join("A\\file.txt"), "1"));

    std::vector<std::string> list;
    ListDirsRecursive(dir.path().c_str(), list);
    EXPECT_EQ((std::vector<std::string>{Lower(dir.Join("a\\b\\c")), Lower(dir.Join("a\\b")), Lower(dir.Join("a"))}),
              list);
}

TEST(ListDirsRecursive, EmptyFolderMeansTheCurrentDirectory) {
    TempDir dir;
    NewFolder(dir.Join("Only"));
    char previous[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryA(sizeof previous, previous));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    std::vector<std::string> list;
    ListDirsRecursive("", list);
    SetCurrentDirectoryA(previous);

    ASSERT_EQ(1u, list.size());
    EXPECT_TRUE(EndsWith(list[0].c_str(), "\\only")) << list[0];
}

// A game copied from its disc keeps the read-only attribute: the file is replaced, and the new one is writable.
TEST(ReplaceFileWith, ReplacesAReadOnlyFile) {
    TempDir dir;
    const std::string path = dir.Join("psrpc.dll");
    ASSERT_TRUE(WriteBytes(path, "from the disc"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    FileFault fault = FileFault::kOther;
    ASSERT_TRUE(ReplaceFileWith("localised", 9, path.c_str(), &fault));
    EXPECT_EQ(FileFault::kNone, fault);
    std::string read;
    ASSERT_TRUE(ReadBytes(path, &read));
    EXPECT_EQ("localised", read);
    EXPECT_FALSE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(std::vector<std::string>{"psrpc.dll"}, Entries(dir.path()));
}

// A file another program holds open stays as it was, read-only attribute included, and the cause is told.
TEST(ReplaceFileWith, FileHeldOpenIsKeptWithItsAttributesAndTheCauseIsTold) {
    TempDir dir;
    const std::string path = dir.Join("SM3Config.exe");
    ASSERT_TRUE(WriteBytes(path, "the game's own"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    FileFault fault = FileFault::kNone;
    EXPECT_FALSE(ReplaceFileWith("localised", 9, path.c_str(), &fault));
    EXPECT_FALSE(FileHolds(path.c_str(), "the game's own", 14));  // it cannot be read while held
    CloseHandle(holder);
    EXPECT_EQ(FileFault::kInUse, fault);
    EXPECT_TRUE(FileHolds(path.c_str(), "the game's own", 14));
    EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(std::vector<std::string>{"SM3Config.exe"}, Entries(dir.path()));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileHolds, ComparesEveryByteAndTheLength) {
    TempDir dir;
    const std::string path = dir.Join("a.bin");
    const std::string bytes = std::string(3u << 20, 'x') + "end";  // more than one read
    ASSERT_TRUE(WriteBytes(path, bytes));
    EXPECT_TRUE(FileHolds(path.c_str(), bytes.data(), bytes.size()));
    std::string other = bytes;
    other[other.size() - 1] = 'D';
    EXPECT_FALSE(FileHolds(path.c_str(), other.data(), other.size()));
    EXPECT_FALSE(FileHolds(path.c_str(), bytes.data(), bytes.size() - 1));
    EXPECT_FALSE(FileHolds(dir.Join("missing").c_str(), "", 0));
}

// File after file through one writer: the folder of the last file stays held (it cannot be renamed away before the
// next removal), a file whose folder is missing counts as removed, and a folder that is a link is refused and named
// with nothing behind it removed.
TEST(WriterBelow, RemovesFileAfterFileThroughTheFolderItHolds) {
    TempDir dir;
    const std::string game = dir.Join("game"), outside = dir.Join("outside");
    for (const char* file : {"quorvan\\a\\x.txt", "quorvan\\a\\y.txt", "quorvan\\b\\z.txt", "top.txt"})
        ASSERT_TRUE(WriteFileMakingDirs("1", 1, (game + "\\" + file).c_str())) << file;
    ASSERT_TRUE(WriteFileMakingDirs("1", 1, (outside + "\\w.txt").c_str()));
    ASSERT_TRUE(MakeUnixLink(outside, game + "\\quorvan\\c"));
    HeldFolder held;
    ASSERT_TRUE(held.Open(game));
    const struct {
        const char* path;
        bool removed;
        FileFault fault;
        const char* place;
    } steps[] = {
        {"quorvan\\a\\x.txt", true, FileFault::kNone, ""},
        {"quorvan\\a\\y.txt", true, FileFault::kNone, ""},
        {"quorvan\\missing\\q.txt", true, FileFault::kNone, ""},
        {"quorvan\\c\\w.txt", false, FileFault::kLink, "quorvan\\c"},
        {"top.txt", true, FileFault::kNone, ""},
        {"quorvan/b/z.txt", true, FileFault::kNone, ""},
    };
    {
        WriterBelow files(held);
        for (const auto& step : steps) {
            Refusal refusal;
            EXPECT_EQ(step.removed, files.Remove(step.path, &refusal)) << step.path;
            EXPECT_EQ(step.fault, refusal.fault) << step.path;
            EXPECT_EQ(step.place, refusal.place) << step.path;
        }
        EXPECT_FALSE(MoveFileA((game + "\\quorvan\\b").c_str(), (game + "\\moved").c_str()));
    }
    EXPECT_TRUE(MoveFileA((game + "\\quorvan\\b").c_str(), (game + "\\moved").c_str()));
    EXPECT_TRUE(Entries(game + "\\quorvan\\a").empty());
    EXPECT_TRUE(Entries(game + "\\moved").empty());
    EXPECT_EQ(std::vector<std::string>({"w.txt"}), NamesIn(outside));
    EXPECT_TRUE(RemoveOnHost(game + "\\quorvan\\c"));
}

TEST(RemoveWithoutFollowingLinks, RemovesATreeWithGbkNamesAndNamesWhatStays) {
    TempDir dir;
    // "\xd7\xd6" and "\x95\x5c" (a trail byte equal to "\"): the names are taken from the folder's own listing.
    const std::string top = dir.Join("quorvan");
    for (const char* file : {"a.txt", "Data\\Sub\\File.BIN", "\xd7\xd6\\\x9c\x5c.txt", "kept\\.git\\x"})
        ASSERT_TRUE(WriteFileMakingDirs("1", 1, (top + "\\" + file).c_str())) << file;
    ASSERT_TRUE(CreateDirectoryA((top + "\\empty").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(top + "\\ro.txt", "1"));
    ASSERT_TRUE(SetFileAttributesA((top + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    std::vector<LeftBehind> left;
    EXPECT_FALSE(RemoveWithoutFollowingLinks(dir.path(), "quorvan", left));
    std::vector<std::string> named;
    for (const LeftBehind& item : left)
        named.push_back(item.path.substr(top.size() + 1) + (item.cause == FileFault::kReadOnly ? " read-only" : "") +
                        (item.cause == FileFault::kNotListed ? " not entered" : ""));
    EXPECT_EQ(Sorted({"kept\\.git not entered", "ro.txt read-only"}), Sorted(named));
    EXPECT_EQ(Sorted({".git"}), Sorted(Entries(top + "\\kept")));
    EXPECT_EQ(Sorted({"kept", "ro.txt"}), Sorted(Entries(top)));

    // Once the file is writable and the dot folder gone, the rest goes; nothing there counts as removed.
    SetFileAttributesA((top + "\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA((top + "\\kept\\.git\\x").c_str());
    RemoveDirectoryA((top + "\\kept\\.git").c_str());
    left.clear();
    EXPECT_TRUE(RemoveWithoutFollowingLinks(dir.path(), "quorvan", left));
    EXPECT_TRUE(left.empty());
    EXPECT_TRUE(Entries(dir.path()).empty());
    EXPECT_TRUE(RemoveWithoutFollowingLinks(dir.path(), "quorvan", left));
    EXPECT_TRUE(left.empty());
}

namespace {

// A file or, for a name ending in "\", a folder, made below folder by its UTF-16 name.
void MakeWide(const std::wstring& folder, const std::wstring& name) {
    const std::wstring path = folder + L"\\" + name;
    if (!name.empty() && name.back() == L'\\') {
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        return;
    }
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
}

}  // namespace

// The pack folder is emptied by the names the system gives, so an entry GBK cannot spell goes too; one that stays
// is named with "?" where such a character stands.
TEST(RemoveWithoutFollowingLinks, RemovesNamesGbkCannotSpellAndShowsThoseThatStay) {
    TempDir dir;
    const std::wstring top = WideOf(dir.Join("quorvan"));
    ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
    for (const wchar_t* name :
         {L"\xAC8C\xC784\\", L"\xAC8C\xC784\\a.txt", L"\xD83D\xDE00.txt", L"\x6E38\xAC8C.txt", L"\x00C5.txt"})
        MakeWide(top, name);
    ASSERT_TRUE(SetFileAttributesW((top + L"\\\x6E38\xAC8C.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    std::vector<LeftBehind> left;
    EXPECT_FALSE(RemoveWithoutFollowingLinks(dir.path(), "quorvan", left));
    std::vector<std::string> named;
    for (const LeftBehind& item : left)
        named.push_back(item.path + (item.cause == FileFault::kReadOnly ? " read-only" : " other"));
    EXPECT_EQ(std::vector<std::string>{dir.Join("quorvan\\游?.txt read-only")}, named);
    EXPECT_EQ(std::vector<std::string>{"<not GBK>"}, Entries(GbkOf(top)));

    SetFileAttributesW((top + L"\\\x6E38\xAC8C.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    left.clear();
    EXPECT_TRUE(RemoveWithoutFollowingLinks(dir.path(), "quorvan", left));
    EXPECT_TRUE(left.empty());
    EXPECT_TRUE(Entries(dir.path()).empty());
}

// The lists hold GBK paths: a name GBK cannot spell could name no file there, so it is left out with what it holds.
TEST(ListFilesRecursive, LeavesOutNamesGbkCannotSpell) {
    TempDir dir;
    const std::wstring top = WideOf(dir.path());
    for (const wchar_t* name :
         {L"a.txt", L"\x6E38.txt", L"\xAC8C.txt", L"\xAC8C\\", L"\xAC8C\\b.txt", L"\x6E38\\", L"\x6E38\\c.txt"})
        MakeWide(top, name);

    std::vector<std::string> files;
    ListFilesRecursive(dir.path().c_str(), files);
    EXPECT_EQ(Sorted({Lower(dir.Join("a.txt")), Lower(dir.Join("游.txt")), Lower(dir.Join("游\\c.txt"))}),
              Sorted(files));
    std::vector<std::string> folders;
    ListDirsRecursive(dir.path().c_str(), folders);
    EXPECT_EQ(std::vector<std::string>{Lower(dir.Join("游"))}, folders);
}
