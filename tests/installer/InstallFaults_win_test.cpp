#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "installer/CommandDispatch_win.h"
#include "installer/FileHelpers.h"
#include "installer/FileWrite_win.h"
#include "installer/InstallMark_win.h"
#include "tests/installer/InstallerFixture_win.h"
#include "tests/common/TestPictures_win.h"

// Faults injected into the install: entries that fail their checks, a disk that fills up part way, game files that
// are held open or read-only, paths that are not whole, a quit while the library is still busy. In every case the
// game's own files stay byte for byte as they were, and the last box says what failed.
namespace {

const char kLocalisedLibrary[] = "the localised psrpc library";
const char kStaleLibrary[] = "a resource-installer library left by an earlier install";

// Bytes the disk still takes; every write after them fails, as on a full disk.
size_t gBytesLeft = 0;
bool WriteUntilFull(HANDLE file, const void* bytes, size_t size) {
    const size_t now = std::min(size, gBytesLeft);
    gBytesLeft -= now;
    return WriteWholeBuffer(file, bytes, now) && now == size;
}

// Files called "qv*.tmp" that a replacement may have left behind.
std::vector<std::string> LeftoverTemporaries(const std::string& folder) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((folder + "\\qv*.tmp").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do
        found.push_back(data.cFileName);
    while (FindNextFileA(search, &data));
    FindClose(search);
    return found;
}

class InstallFaultTest : public InstallerTest {
  protected:
    void ExpectGameUntouched() {
        ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
        EXPECT_EQ("the game", FileBytes(Game(std::string("\\") + kGameExecutableName)));
        EXPECT_EQ(std::vector<std::string>(), LeftoverTemporaries(game_));
        EXPECT_EQ(std::vector<std::string>(), LeftoverTemporaries(Game("\\media\\data\\etc\\japanese")));
    }
};

// Without the check before the first change (it would refuse these packages outright), each copy still keeps
// unchecked bytes away from the game's own files.
TEST_F(InstallFaultTest, EntriesThatFailTheirChecksNeverReplaceTheGamesFiles) {
    ChangeDependencies([](InstallerDependencies& d) { d.entryCheck = EntryCheck::kNone; });
    TestPack pack = StandardPack();
    BreakDigest(pack, "psrpc.qvx");
    BreakBody(pack, "SM3Config.qvx");
    BreakDigest(pack, "loading_qvx\\loadscreen.png");
    BreakDigest(pack, "quorvan\\readme.txt");  // the pack's own folder: written all the same, and reported
    Open(pack);
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(6u, boxes.size());  // confirmation, four check failures ("decompress error!" for the body), the end
    EXPECT_EQ(3, std::count_if(boxes.begin(), boxes.end(),
                               [](const RecordedMessage& box) { return box.caption == "MD5 error!"; }));
    const std::string log = ExpectFailureBox(
        boxes.back(), "安装结束, 但有 4 项未能完成:",
        {"校验失败, 原文件未改动: SM3Config.exe", "校验失败, 已写入: quorvan\\readme.txt",
         "校验失败, 原文件未改动: media\\data\\etc\\japanese\\loadscreen.png", "校验失败, 原文件未改动: psrpc.dll"});
    EXPECT_EQ(Game("\\quorvan\\install-errors.txt"), log);
    ExpectGameUntouched();
    EXPECT_EQ(pack.Bytes("quorvan\\readme.txt"), FileBytes(Game("\\quorvan\\readme.txt")));
    EXPECT_TRUE(Exists(Game("\\quorvan\\resource.lst")));  // the library was sound and ran
    EXPECT_EQ(game_, Mark());                              // what was installed can be uninstalled
    EXPECT_TRUE(Shown("uninstall"));
}

TEST_F(InstallFaultTest, LibraryThatFailsItsCheckIsNeitherWrittenNorLoaded) {
    ChangeDependencies([](InstallerDependencies& d) { d.entryCheck = EntryCheck::kNone; });
    TestPack pack = StandardPack();
    BreakDigest(pack, "SavePatch.qvx");
    ASSERT_TRUE(WriteBytes(Game("\\SavePatch.qvx"), kStaleLibrary));
    Open(pack);
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(3u, boxes.size());
    EXPECT_EQ("savepatch.qvx", boxes[1].text);
    EXPECT_EQ("MD5 error!", boxes[1].caption);
    ExpectFailureBox(boxes[2], "安装结束, 但有 2 项未能完成:",
                     {"校验失败, 原文件未改动: SavePatch.qvx", "资源安装库未能运行: SavePatch.qvx"});
    EXPECT_EQ(kStaleLibrary, FileBytes(Game("\\SavePatch.qvx")));
    EXPECT_FALSE(Exists(Game("\\quorvan\\resource.lst")));  // neither the new library nor the stale one ran
    EXPECT_EQ(pack.Bytes("psrpc.qvx"), FileBytes(Game("\\psrpc.dll")));
}

TEST_F(InstallFaultTest, FullDiskLeavesTheGamesFilesWholeAndIsTold) {
    Open(StandardPack());
    for (size_t bytesLeft : {size_t(0), size_t(10)}) {
        SCOPED_TRACE(testing::Message() << "the disk takes " << bytesLeft << " more bytes");
        recorder_.Clear();
        gBytesLeft = bytesLeft;
        ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = WriteUntilFull; });
        Press("install");
        ASSERT_TRUE(WaitForInstall());

        // Nothing with content could be written; the log could not be either, and the box says so.
        const std::vector<RecordedMessage> boxes = recorder_.Messages();
        ASSERT_EQ(2u, boxes.size());
        const RecordedMessage& end = boxes[1];
        EXPECT_EQ("提示", end.caption);
        EXPECT_EQ(unsigned(kMbOk | kMbIconWarning), end.style);
        for (const char* line : {"\r\n    无法写入: SM3Config.exe\r\n", "\r\n    无法写入: SavePatch.qvx\r\n",
                                 "\r\n    ...\r\n", "\r\n完整列表未能写入: "})
            EXPECT_NE(std::string::npos, end.text.find(line)) << line << " in " << end.text;
        EXPECT_EQ(std::string::npos, end.text.find("安装成功结束!"));
        ExpectGameUntouched();
        EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
        EXPECT_EQ("", FileBytes(Game("\\quorvan\\empty.dat")));  // an empty file needs no room
        EXPECT_EQ(game_, Mark());

        // The uninstall control is there to take the partial pack away again.
        ASSERT_TRUE(Shown("uninstall"));
        DeleteValue(kQuorvanInfoValue);
        RefreshControls();
    }
}

TEST_F(InstallFaultTest, GameFileHeldOpenIsLeftAsItWasAndNamed) {
    Open(StandardPack());
    HANDLE holder = CreateFileA(Game("\\psrpc.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    CloseHandle(holder);

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectFailureBox(boxes[1], "安装结束, 但有 1 项未能完成:", {"无法写入 (文件正被其他程序使用): psrpc.dll"});
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(std::vector<std::string>(), LeftoverTemporaries(game_));
    EXPECT_EQ(game_, Mark());
    DeleteValue(kQuorvanInfoValue);
    RefreshControls();

    // Once the game lets go of it, a second install completes cleanly and removes the old log.
    recorder_.Clear();
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    ASSERT_EQ(2u, recorder_.Messages().size());
    EXPECT_EQ("安装成功结束!", recorder_.Messages()[1].text);
    EXPECT_EQ(StandardPack().Bytes("psrpc.qvx"), FileBytes(Game("\\psrpc.dll")));
    EXPECT_FALSE(Exists(Game("\\quorvan\\install-errors.txt")));
}

// A game copied from its disc keeps the read-only attribute on every file: the install replaces them all the same.
TEST_F(InstallFaultTest, ReadOnlyGameFilesAreReplaced) {
    const char* const kGameFiles[] = {"\\psrpc.dll", "\\SM3Config.exe", "\\media\\data\\etc\\japanese\\loadscreen.png"};
    for (const char* file : kGameFiles)
        ASSERT_TRUE(SetFileAttributesA(Game(file).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE)) << file;
    Open(StandardPack());
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("安装成功结束!", boxes[1].text);
    EXPECT_EQ(StandardPack().Bytes("psrpc.qvx"), FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(StandardPack().Bytes("SM3Config.qvx"), FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(StandardPack().Bytes("loading_qvx\\loadscreen.png"),
              FileBytes(Game("\\media\\data\\etc\\japanese\\loadscreen.png")));
    EXPECT_EQ(std::vector<std::string>(), LeftoverTemporaries(game_));
    EXPECT_EQ(game_, Mark());
}

TEST_F(InstallFaultTest, PathsAreMadeWholeBeforeTheyAreUsed) {
    Open(StandardPack());
    // A relative InstallInfo is taken from the current folder and shown whole.
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    SetValue(kInstallInfoValue, "game");
    recorder_.Answer(kIdCancel);
    Press("install");
    SetCurrentDirectoryA(before);
    std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].text.find("安装目录: " + game_ + " (")) << boxes[0].text;
    EXPECT_EQ(std::vector<std::string>{game_ + "\\"}, gSeams.drives);

    // A game on a network share: the share's own free space is asked for, not a drive named by its first byte.
    DeleteValue(kInstallInfoValue);
    gSeams.chooserAnswers = true;
    gSeams.chosenPath = std::string("\\\\server\\share\\SM3\\") + kGameExecutableName;
    gSeams.drives.clear();
    recorder_.Clear();
    recorder_.Answer(kIdOk);
    recorder_.Answer(kIdCancel);
    Press("install");
    boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("安装确认", boxes[1].caption);
    EXPECT_NE(std::string::npos, boxes[1].text.find("安装目录: \\\\server\\share\\SM3 (磁盘剩余空间: 1024 M)"))
        << boxes[1].text;
    EXPECT_EQ(std::vector<std::string>{"\\\\server\\share\\SM3\\"}, gSeams.drives);

    // A relative path too long to be resolved is refused before anything is asked or written.
    gSeams.chosenPath = std::string(300, 'a') + "\\" + kGameExecutableName;
    gSeams.drives.clear();
    recorder_.Clear();
    Press("install");
    boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("无法确定游戏所在目录的完整路径, 无法安装!", boxes[1].text);
    EXPECT_EQ("取消安装", boxes[1].caption);
    EXPECT_EQ(unsigned(kMbOk | kMbIconError), boxes[1].style);
    EXPECT_TRUE(gSeams.drives.empty());
    std::string value;
    EXPECT_FALSE(ReadValue(kQuorvanInfoValue, &value));
}

TEST_F(InstallFaultTest, EmptyOrRelativeMarkCountsAsNotInstalledAndTheUninstallTouchesNothing) {
    // What a relative mark would name if it were followed: the current folder's pack folder and library.
    ASSERT_TRUE(WriteFileMakingDirs("x", 1, dir_.Join("quorvan\\keep.txt").c_str()));
    ASSERT_TRUE(WriteBytes(dir_.Join("SavePatch.qvx"), "x"));
    ASSERT_TRUE(WriteBytes(dir_.Join("psrpc.dll"), "the user's own"));
    Open(StandardPack());
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    for (const char* mark : {"", ".", "game", "\\game", "C:game"}) {
        SCOPED_TRACE(mark);
        SetValue(kQuorvanInfoValue, mark);
        RefreshControls();
        EXPECT_TRUE(Shown("install"));
        EXPECT_FALSE(Shown("uninstall"));
        recorder_.Clear();
        Press("uninstall");  // a press that was queued before the control went
        const std::vector<RecordedMessage> boxes = recorder_.Messages();
        ASSERT_EQ(2u, boxes.size());
        EXPECT_EQ("没有安装真.三国无双3汉化包!", boxes[1].text);
        std::string value;
        EXPECT_TRUE(ReadValue(kQuorvanInfoValue, &value));
    }
    SetCurrentDirectoryA(before);
    EXPECT_TRUE(Exists(dir_.Join("quorvan\\keep.txt")));
    EXPECT_TRUE(Exists(dir_.Join("SavePatch.qvx")));
    EXPECT_EQ("the user's own", FileBytes(dir_.Join("psrpc.dll")));
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
}

// A library that is still at work long after the user chose to quit: it keeps writing its progress.
LONG gLibraryRuns = 0;
bool BusyLibrary(const char*, const MemorySink&, HWND, char* statusText) {
    InterlockedIncrement(&gLibraryRuns);
    for (int i = 0; i < 6000; ++i) {
        std::snprintf(statusText, 512, "still working %d", i);
        Sleep(10);
    }
    return true;
}

int PrintNotes(void*, const char* text, const char* caption, unsigned) {
    if (std::string(caption) == "提示" && std::string(text).compare(0, 12, "安装没有完成") == 0)
        std::fprintf(stderr, "told: the install did not finish\n");
    std::fflush(stderr);
    return kIdOk;
}

void SayDestructorsRan() {
    std::fprintf(stderr, "exit handlers ran\n");
}

// The library cannot be stopped from outside. The user is told, and the process ends at once: no destructor
// frees the status text or the package index under the library's feet, and the exit code is the program's usual 0
// rather than the 7 this test would end with.
TEST_F(InstallFaultTest, QuitThatCannotWaitForTheLibraryEndsTheProcessWithoutDestructors) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test again from the start and ends without removing its folder: it leaves its name here.
    static const char kParentFolder[] = "QV_QUIT_TEST_PARENT";
    char parent[MAX_PATH] = {};
    if (!GetEnvironmentVariableA(kParentFolder, parent, sizeof parent))
        SetEnvironmentVariableA(kParentFolder, dir_.path().c_str());
    const std::string childNote = std::string(parent[0] ? parent : dir_.path().c_str()) + "\\child.txt";
    EXPECT_EXIT(
        {
            WriteBytes(childNote, dir_.path());
            Open(StandardPack());
            std::atexit(SayDestructorsRan);
            ChangeDependencies([](InstallerDependencies& d) { d.callResourceInstall = BusyLibrary; });
            Press("install");
            PumpUntil([] { return gLibraryRuns > 0; }, 30000);
            SetMessageHandler(PrintNotes);
            Press("close");  // answered OK
            StopInstallForQuit(Main(), 500);
            std::exit(7);
        },
        ::testing::ExitedWithCode(0), "told: the install did not finish");
    std::string child;
    if (ReadBytes(dir_.Join("child.txt"), &child) && !child.empty())
        RemoveTree(child);
}

}  // namespace
