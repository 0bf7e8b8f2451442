#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/HeldFolder_win.h"
#include "support/SystemText_win.h"
#include "tests/common/HostLinks_win.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestFiles_win.h"

// A game folder that other programs of the session prepared: links of the machine Wine runs on (made with ln, as a
// program outside Wine would), hard links, read-only files, names the system cannot be told apart by path alone.
// Nothing outside the held folder is ever written or deleted, and a refused step says why and where.
namespace {

const char kOutsideBytes[] = "somebody else's file";

// Writes a new file (never one that is there, nor through a link).
bool WriteW(const std::string& path, const std::string& bytes) {
    HANDLE file =
        CreateFileW(WideOf(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(file) && ok;
}

// Empties folder, links as links: Wine deletes what a link of its machine points at when asked to delete the link.
bool EmptyFolder(const std::string& folder) {
    return RemoveOnHost(folder) && CreateDirectoryW(WideOf(folder).c_str(), nullptr);
}

class HeldFolderTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(WideOf(game_).c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(WideOf(outside_).c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(WideOf(outside_ + "\\quorvan").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(WideOf(outside_ + "\\quorvan\\data").c_str(), nullptr));
        ASSERT_TRUE(WriteW(outside_ + "\\quorvan\\data\\x.bin", kOutsideBytes));
        ASSERT_TRUE(WriteW(outside_ + "\\x.bin", kOutsideBytes));
        ASSERT_TRUE(root_.Open(game_));
    }
    void TearDown() override {
        root_ = HeldFolder();
        ASSERT_TRUE(EmptyFolder(dir_.path()));
    }

    // What a refused write must leave: the outside files as they were, and no file of ours in the game's folders.
    void ExpectOutsideUntouched() {
        EXPECT_EQ(kOutsideBytes, FileBytes(outside_ + "\\quorvan\\data\\x.bin"));
        EXPECT_EQ(kOutsideBytes, FileBytes(outside_ + "\\x.bin"));
        EXPECT_EQ(std::vector<std::string>{"x.bin"}, NamesIn(outside_ + "\\quorvan\\data"));
        EXPECT_EQ(std::vector<std::string>{"data"}, NamesIn(outside_ + "\\quorvan"));
    }

    TempDir dir_;
    const std::string game_ = dir_.Join("game");
    const std::string outside_ = dir_.Join("outside");
    HeldFolder root_;
};

TEST_F(HeldFolderTest, RefusesPathsThatAreNotAFolderOnADrive) {
    const struct {
        std::string path;
        HeldFault fault;
    } cases[] = {
        {"\\\\server\\share\\game", HeldFault::kBadName},
        {"//server/share/game", HeldFault::kBadName},
        {"\\\\?\\C:\\windows", HeldFault::kBadName},
        {"\\\\.\\C:", HeldFault::kBadName},
        {"\\??\\C:\\windows", HeldFault::kBadName},
        {"game", HeldFault::kBadName},
        {"\\windows", HeldFault::kBadName},
        {"C:windows", HeldFault::kBadName},
        {"C:\\windows\\..\\users", HeldFault::kBadName},
        {"C:\\windows\\\\system32", HeldFault::kBadName},
        {"C:\\windows:stream", HeldFault::kBadName},
        {"C:\\\xFF\xFF", HeldFault::kBadName},  // not GBK
        {game_ + "\\missing", HeldFault::kMissing},
        {outside_ + "\\x.bin", HeldFault::kNotFolder},
    };
    for (const auto& c : cases) {
        HeldFolder folder;
        HeldFailure failure;
        EXPECT_FALSE(folder.Open(c.path, &failure)) << c.path;
        EXPECT_FALSE(folder.held()) << c.path;
        EXPECT_EQ(int(c.fault), int(failure.fault)) << c.path;
        EXPECT_EQ(c.path, failure.path);
    }
    HeldFolder root;
    ASSERT_TRUE(root.Open("C:"));
    EXPECT_EQ("C:\\", root.path());
    ASSERT_TRUE(root.Open(game_ + "\\/"));
    EXPECT_EQ(game_, root.path());
}

TEST_F(HeldFolderTest, HeldFolderCannotBeRenamedAway) {
    HeldFolder data;
    ASSERT_TRUE(root_.OpenFolders("quorvan\\data", true, &data));
    EXPECT_EQ(game_ + "\\quorvan\\data", data.path());
    EXPECT_FALSE(MoveFileW(WideOf(game_ + "\\quorvan\\data").c_str(), WideOf(game_ + "\\quorvan\\moved").c_str()));
    data = HeldFolder();
    EXPECT_TRUE(MoveFileW(WideOf(game_ + "\\quorvan\\data").c_str(), WideOf(game_ + "\\quorvan\\moved").c_str()));
}

// A link anywhere on the way, to a folder or a file outside the game or to another place inside it: every use of it
// is refused, names it, and leaves what it leads to as it was.
TEST_F(HeldFolderTest, LinksOnTheWayAreRefusedAndNothingBehindThemChanges) {
    const struct {
        const char* what;
        const char* link;    // below the game folder
        std::string target;  // a Windows path
        bool hard;
        const char* refused;  // the path the failure names, below the game folder
        HeldFault fault;
    } cases[] = {
        {"pack folder to a folder outside", "quorvan", outside_ + "\\quorvan", false, "quorvan", HeldFault::kLink},
        {"pack folder to a folder inside", "quorvan", game_ + "\\other", false, "quorvan", HeldFault::kLink},
        {"subfolder to a folder outside", "quorvan\\data", outside_ + "\\quorvan\\data", false, "quorvan\\data",
         HeldFault::kLink},
        {"file to a file outside", "quorvan\\data\\x.bin", outside_ + "\\x.bin", false, "quorvan\\data\\x.bin",
         HeldFault::kLink},
        {"file hard-linked to a file outside", "quorvan\\data\\x.bin", outside_ + "\\x.bin", true,
         "quorvan\\data\\x.bin", HeldFault::kHardLink},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        ASSERT_TRUE(CreateDirectoryW(WideOf(game_ + "\\other").c_str(), nullptr));
        const std::string link = game_ + "\\" + c.link;
        const std::string above = link.substr(0, link.find_last_of('\\'));
        if (above != game_) {
            HeldFolder made;
            ASSERT_TRUE(root_.OpenFolders(above.substr(game_.size() + 1), true, &made));
        }
        if (c.hard) {
            ASSERT_TRUE(CreateHardLinkW(WideOf(link).c_str(), WideOf(c.target).c_str(), nullptr));
        } else {
            ASSERT_TRUE(MakeUnixLink(c.target, link));
        }
        // The link leads where it was made to: by its path, the system follows it.
        if (c.link == std::string("quorvan\\data\\x.bin"))
            ASSERT_EQ(kOutsideBytes, FileBytes(link));
        else
            ASSERT_EQ(NamesIn(c.target), NamesIn(link));

        HeldFailure failure;
        const std::string bytes = "written through the link";
        EXPECT_FALSE(
            PutFileBelow(root_, "quorvan\\data\\x.bin", bytes.data(), bytes.size(), PutMode::kReplace, &failure));
        EXPECT_EQ(int(c.fault), int(failure.fault));
        EXPECT_EQ(game_ + "\\" + c.refused, failure.path);

        HeldFolder data;
        const bool reached = root_.OpenFolders("quorvan\\data", false, &data, &failure);
        EXPECT_EQ(c.refused == std::string("quorvan\\data\\x.bin"), reached);
        if (reached) {
            std::string read;
            EXPECT_FALSE(data.ReadFileBytes("x.bin", &read, &failure));
            EXPECT_EQ(int(c.fault), int(failure.fault));
            EXPECT_TRUE(read.empty());
            EXPECT_FALSE(data.RemoveFile("x.bin", &failure));
            EXPECT_EQ(int(c.fault), int(failure.fault));
            ScopedFileHandle opened;
            EXPECT_FALSE(data.OpenFile("x.bin", FILE_GENERIC_READ | FILE_GENERIC_WRITE, 0, &opened, &failure));
            EXPECT_EQ(int(c.fault), int(failure.fault));
            EXPECT_FALSE(opened.valid());
            EXPECT_TRUE(Exists(link));
        }
        ExpectOutsideUntouched();
        EXPECT_TRUE(NamesIn(game_ + "\\other").empty());
    }
}

TEST_F(HeldFolderTest, PutFileBelowMakesTheFoldersAndReplacesAReadOnlyFile) {
    std::string big(3 * 1024 * 1024 + 7, '\0');  // more than one write's chunk
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 4096);
    ASSERT_TRUE(PutFileBelow(root_, "quorvan/data\\x.bin", big.data(), big.size(), PutMode::kReplace));
    EXPECT_EQ(big, FileBytes(game_ + "\\quorvan\\data\\x.bin"));

    ASSERT_TRUE(WriteW(game_ + "\\old.txt", "old"));
    ASSERT_TRUE(
        SetFileAttributesW(WideOf(game_ + "\\old.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    HeldFailure failure;
    ASSERT_TRUE(root_.PutFile("old.txt", "new", 3, PutMode::kReplace, &failure)) << int(failure.fault);
    EXPECT_EQ("new", FileBytes(game_ + "\\old.txt"));
    EXPECT_FALSE(AttributesOf(game_ + "\\old.txt") & FILE_ATTRIBUTE_READONLY);

    HeldFolder data;
    ASSERT_TRUE(root_.OpenFolders("QUORVAN\\Data", false, &data));
    std::string read;
    ASSERT_TRUE(data.ReadFileBytes("x.bin", &read));
    EXPECT_EQ(big, read);
    ScopedFileHandle opened;  // changed in place through the checked handle
    ASSERT_TRUE(data.OpenFile("x.bin", FILE_GENERIC_READ | FILE_GENERIC_WRITE, FILE_SHARE_READ, &opened));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(opened.get(), "XY", 2, &written, nullptr) && written == 2 && opened.Close());
    EXPECT_EQ("XY" + big.substr(2), FileBytes(game_ + "\\quorvan\\data\\x.bin"));
    EXPECT_EQ(std::vector<std::string>({"old.txt", "quorvan"}), NamesIn(game_));
    EXPECT_EQ(std::vector<std::string>{"x.bin"}, NamesIn(game_ + "\\quorvan\\data"));
}

TEST_F(HeldFolderTest, NewOnlyNeverReplaces) {
    ASSERT_TRUE(WriteW(game_ + "\\save.bak", "first backup"));
    HeldFailure failure;
    EXPECT_FALSE(root_.PutFile("save.bak", "second", 6, PutMode::kNewOnly, &failure));
    EXPECT_EQ(int(HeldFault::kExists), int(failure.fault));
    EXPECT_EQ("first backup", FileBytes(game_ + "\\save.bak"));
    EXPECT_TRUE(root_.PutFile("other.bak", "second", 6, PutMode::kNewOnly));
    EXPECT_EQ("second", FileBytes(game_ + "\\other.bak"));
    EXPECT_EQ(std::vector<std::string>({"other.bak", "save.bak"}), NamesIn(game_));
}

bool WriteHalfThenFail(HANDLE file, const void* bytes, size_t size) {
    WriteWholeBuffer(file, bytes, size / 2);
    return false;
}

// A write that fails (a full disk) or a rename the system refuses (the game holds its file open): the old file keeps
// its bytes and its attributes, and our new file goes.
TEST_F(HeldFolderTest, AFailedPutLeavesTheOldFileAndNoNewFile) {
    const struct {
        const char* what;
        bool readOnly;
        bool heldOpen;
        FileBytesWriter writer;
        HeldFault fault;
    } cases[] = {
        {"write fails", false, false, WriteHalfThenFail, HeldFault::kOther},
        {"write fails, read-only", true, false, WriteHalfThenFail, HeldFault::kOther},
        {"file held open", false, true, nullptr, HeldFault::kInUse},
        {"file held open, read-only", true, true, nullptr, HeldFault::kInUse},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = game_ + "\\SM3Config.exe";
        SetFileAttributesW(WideOf(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(WideOf(path).c_str());
        ASSERT_TRUE(WriteW(path, "original"));
        ASSERT_TRUE(
            SetFileAttributesW(WideOf(path).c_str(), c.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
        const DWORD attributes = AttributesOf(path);  // Wine adds "archive"
        ASSERT_EQ(c.readOnly, (attributes & FILE_ATTRIBUTE_READONLY) != 0);
        HANDLE game = c.heldOpen ? CreateFileW(WideOf(path).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, 0, nullptr)
                                 : INVALID_HANDLE_VALUE;
        ASSERT_EQ(c.heldOpen, game != INVALID_HANDLE_VALUE);
        HeldFailure failure;
        EXPECT_FALSE(root_.PutFile("SM3Config.exe", "localised", 9, PutMode::kReplace, &failure, c.writer));
        if (game != INVALID_HANDLE_VALUE)
            CloseHandle(game);
        EXPECT_EQ(int(c.fault), int(failure.fault));
        EXPECT_EQ(path, failure.path);
        EXPECT_EQ("original", FileBytes(path));
        EXPECT_EQ(attributes, AttributesOf(path));
        EXPECT_EQ(std::vector<std::string>{"SM3Config.exe"}, NamesIn(game_));
    }
}

// Kinds and names that do not fit the step: refused before anything is made.
TEST_F(HeldFolderTest, RefusesNamesAndKindsThatDoNotFit) {
    ASSERT_TRUE(WriteW(game_ + "\\file", "a file"));
    ASSERT_TRUE(CreateDirectoryW(WideOf(game_ + "\\folder").c_str(), nullptr));
    const struct {
        const char* relative;
        HeldFault fault;
        const char* refused;
    } cases[] = {
        {"", HeldFault::kBadName, ""},
        {"..\\x.bin", HeldFault::kBadName, "..\\x.bin"},
        {"a\\..\\..\\x.bin", HeldFault::kBadName, "a\\..\\..\\x.bin"},
        {"\\x.bin", HeldFault::kBadName, "\\x.bin"},
        {"a\\\\x.bin", HeldFault::kBadName, "a\\\\x.bin"},
        {"x.bin:stream", HeldFault::kBadName, "x.bin:stream"},
        {"x.bin.", HeldFault::kBadName, "x.bin."},
        {"a\\x?.bin", HeldFault::kBadName, "a\\x?.bin"},
        {"file\\x.bin", HeldFault::kNotFolder, "file"},
        {"folder", HeldFault::kNotFile, "folder"},
    };
    for (const auto& c : cases) {
        HeldFailure failure;
        EXPECT_FALSE(PutFileBelow(root_, c.relative, "x", 1, PutMode::kReplace, &failure)) << c.relative;
        EXPECT_EQ(int(c.fault), int(failure.fault)) << c.relative;
        EXPECT_EQ(game_ + "\\" + c.refused, failure.path) << c.relative;
    }
    HeldFolder child;
    HeldFailure failure;
    EXPECT_FALSE(root_.OpenFolder("missing", false, &child, &failure));
    EXPECT_EQ(int(HeldFault::kMissing), int(failure.fault));
    EXPECT_FALSE(root_.OpenFolder("a\\b", true, &child, &failure));
    EXPECT_EQ(int(HeldFault::kBadName), int(failure.fault));
    EXPECT_EQ(std::vector<std::string>({"a", "file", "folder"}), NamesIn(game_));  // "a\x?.bin" made its folder
    EXPECT_EQ("a file", FileBytes(game_ + "\\file"));
}

TEST_F(HeldFolderTest, RemoveFileDeletesReadOnlyFilesAndPassesOverMissingOnes) {
    ASSERT_TRUE(WriteW(game_ + "\\a.txt", "a"));
    ASSERT_TRUE(SetFileAttributesW(WideOf(game_ + "\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(root_.RemoveFile("a.txt"));
    EXPECT_TRUE(root_.RemoveFile("a.txt"));
    EXPECT_FALSE(Exists(game_ + "\\a.txt"));
    ASSERT_TRUE(CreateDirectoryW(WideOf(game_ + "\\folder").c_str(), nullptr));
    HeldFailure failure;
    EXPECT_FALSE(root_.RemoveFile("folder", &failure));
    EXPECT_EQ(int(HeldFault::kNotFile), int(failure.fault));
    EXPECT_TRUE(Exists(game_ + "\\folder"));
}

TEST_F(HeldFolderTest, RemoveLeftoversTakesOnlyOurNewFiles) {
    const struct {
        const char* name;
        bool ours;
    } cases[] = {
        {"qv1a2b.tmp", true},       {"QV12345678.TMP", true}, {"qvF.tmp", true},
        {"qv123456789.tmp", false}, {"qv.tmp", false},        {"qvzz.tmp", false},
        {"qv12.tmp.txt", false},    {"notes.tmp", false},     {"xqv12.tmp", false},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(WriteW(game_ + "\\" + c.name, "bytes")) << c.name;
    ASSERT_TRUE(SetFileAttributesW(WideOf(game_ + "\\qvF.tmp").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryW(WideOf(game_ + "\\qv99.tmp").c_str(), nullptr));
    EXPECT_TRUE(root_.RemoveLeftovers());
    for (const auto& c : cases)
        EXPECT_EQ(!c.ours, Exists(game_ + "\\" + c.name)) << c.name;
    EXPECT_TRUE(Exists(game_ + "\\qv99.tmp"));
}

// A file system that tells names apart by case may hold, beside a held folder, another whose name differs only in
// case (made here by a program of the machine Wine runs on). A link into it is a link: nothing behind it is read,
// written or deleted.
TEST_F(HeldFolderTest, ALinkIntoAFolderNamedLikeTheHeldOneButForCaseIsALink) {
    HeldFolder data;
    ASSERT_TRUE(root_.OpenFolders("quorvan\\data", true, &data));
    const std::string pack = game_ + "\\quorvan";
    ASSERT_TRUE(RunOnHost(
        "/bin/mkdir DATA", [&] { return NamesIn(pack).size() == 2; }, pack));
    ASSERT_TRUE(WriteW(pack + "\\DATA\\x.bin", kOutsideBytes));
    ASSERT_TRUE(MakeUnixLink(pack + "\\DATA\\x.bin", pack + "\\data\\x.bin"));
    ASSERT_EQ(std::vector<std::string>({"DATA", "data"}), NamesIn(pack));

    HeldFailure failure;
    EXPECT_FALSE(data.PutFile("x.bin", "ours", 4, PutMode::kReplace, &failure));
    EXPECT_EQ(int(HeldFault::kLink), int(failure.fault));
    std::string read;
    EXPECT_FALSE(data.ReadFileBytes("x.bin", &read, &failure));
    EXPECT_EQ(int(HeldFault::kLink), int(failure.fault));
    EXPECT_FALSE(data.RemoveFile("x.bin", &failure));
    EXPECT_EQ(int(HeldFault::kLink), int(failure.fault));
    EXPECT_EQ(pack + "\\data\\x.bin", failure.path);
    EXPECT_EQ(kOutsideBytes, FileBytes(pack + "\\DATA\\x.bin"));
    EXPECT_EQ(std::vector<std::string>({"x.bin"}), NamesIn(pack + "\\DATA"));
}

// What the checks ask through a handle is what GetFileInformationByHandle says of it, the volume's serial aside.
TEST_F(HeldFolderTest, FactsOfAHandleAreWhatTheSystemSaysOfIt) {
    ASSERT_TRUE(WriteW(game_ + "\\plain.bin", "twelve bytes"));
    ASSERT_TRUE(WriteW(game_ + "\\readonly.bin", "x"));
    ASSERT_TRUE(SetFileAttributesW(WideOf(game_ + "\\readonly.bin").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateHardLinkW(WideOf(game_ + "\\second.bin").c_str(), WideOf(outside_ + "\\x.bin").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(WideOf(game_ + "\\folder").c_str(), nullptr));
    const struct {
        const char* name;
        uint64_t size;
        DWORD links;
        DWORD attribute;  // one the handle must show
    } cases[] = {
        {"plain.bin", 12, 1, FILE_ATTRIBUTE_ARCHIVE},
        {"readonly.bin", 1, 1, FILE_ATTRIBUTE_READONLY},
        {"second.bin", sizeof kOutsideBytes - 1, 2, FILE_ATTRIBUTE_ARCHIVE},
        {"folder", 0, 1, FILE_ATTRIBUTE_DIRECTORY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedFileHandle handle(CreateFileW(WideOf(game_ + "\\" + c.name).c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(handle.valid());
        HandleFacts facts;
        BY_HANDLE_FILE_INFORMATION info;
        ASSERT_TRUE(FactsOf(handle.get(), &facts));
        ASSERT_TRUE(GetFileInformationByHandle(handle.get(), &info));
        EXPECT_EQ(info.dwFileAttributes, facts.attributes);
        EXPECT_NE(0u, facts.attributes & c.attribute);
        EXPECT_EQ(info.nNumberOfLinks, facts.links);
        EXPECT_EQ(c.links, facts.links);
        EXPECT_EQ((uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow, facts.index);
        if (!(c.attribute & FILE_ATTRIBUTE_DIRECTORY)) {
            EXPECT_EQ(c.size, facts.size);
        }
    }
}

// GBK names whatever the process's code page (the suite also runs under code page 932).
TEST_F(HeldFolderTest, ChineseFolderAndFileNamesWork) {
    const std::string pack = "\xBA\xBA\xBB\xAF";            // 汉化
    const std::string data = "\xCA\xFD\xBE\xDD";            // 数据
    const std::string file = "\xCE\xC4\xBC\xFE.bin";        // 文件.bin
    const std::string top = dir_.Join("\xD3\xCE\xCF\xB7");  // 游戏
    ASSERT_TRUE(CreateDirectoryW(WideOf(top).c_str(), nullptr));
    ASSERT_EQ(std::wstring(L"\x6E38\x620F"), WideOf(top).substr(WideOf(top).size() - 2));
    HeldFolder root;
    ASSERT_TRUE(root.Open(top));
    HeldFailure failure;
    ASSERT_TRUE(PutFileBelow(root, pack + "\\" + data + "\\" + file, "bytes", 5, PutMode::kReplace, &failure))
        << int(failure.fault) << " " << failure.path;
    EXPECT_EQ("bytes", FileBytes(top + "\\" + pack + "\\" + data + "\\" + file));
    HeldFolder below;
    ASSERT_TRUE(root.OpenFolders(pack + "/" + data, false, &below));
    EXPECT_EQ(top + "\\" + pack + "\\" + data, below.path());
    std::string read;
    ASSERT_TRUE(below.ReadFileBytes(file, &read));
    EXPECT_EQ("bytes", read);
    EXPECT_TRUE(below.RemoveFile(file));
    EXPECT_TRUE(NamesIn(top + "\\" + pack + "\\" + data).empty());
}

// A folder that is also a drive's root (a drive letter that stands for it, as for a game at the root of a drive): the
// system may name it, and what is below it, under either drive, and it is still the entry it is. A link to that
// folder is still a link. Each step is taken several times: Wine picks one of the two names anew.
TEST_F(HeldFolderTest, AFolderThatIsADrivesRootIsItsOwnEntryAndALinkToItIsNot) {
    ASSERT_TRUE(CreateDirectoryW(WideOf(game_ + "\\quorvan").c_str(), nullptr));
    DriveAtFolder drive(game_ + "\\quorvan");
    ASSERT_FALSE(drive.drive().empty());
    HeldFolder top;
    ASSERT_TRUE(top.Open(dir_.path()));
    for (int round = 0; round < 8; ++round) {
        HeldFailure failure;
        EXPECT_TRUE(PutFileBelow(top, "game\\quorvan\\data\\x.bin", "bytes", 5, PutMode::kReplace, &failure))
            << int(failure.fault) << " " << failure.path;
    }
    EXPECT_EQ("bytes", FileBytes(drive.drive() + "\\data\\x.bin"));

    ASSERT_TRUE(MakeUnixLink(game_ + "\\quorvan", game_ + "\\other"));
    for (int round = 0; round < 8; ++round) {
        HeldFailure failure;
        HeldFolder through;
        EXPECT_FALSE(root_.OpenFolders("other\\data", false, &through, &failure));
        EXPECT_EQ(int(HeldFault::kLink), int(failure.fault));
        EXPECT_EQ(game_ + "\\other", failure.path);
    }
}

}  // namespace
