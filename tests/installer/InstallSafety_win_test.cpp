#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer/CommandDispatch_win.h"
#include "installer/FileWrite_win.h"
#include "installer/InstallMark_win.h"
#include "mainwindow/MainWindow_win.h"
#include "package/Package.h"
#include "tests/installer/InstallerFixture_win.h"
#include "tests/common/HostLinks_win.h"
#include "tests/common/TestPictures_win.h"

// What keeps the game playable whatever happens to an install: a damaged package is found before anything
// changes, the installation is recorded before the first change (so that a killed installer leaves an uninstall
// that puts the game back), a mark that cannot be written stops everything, a game at the root of a drive installs
// and uninstalls, only the pack folder's own entries are unpacked, and no second job starts under a box.
namespace {

const char kNoMarkText[] = "无法在注册表中记录汉化包的安装, 安装已取消.\r\n游戏文件没有改动.";
const char kDamagedAdvice[] = "\r\n\r\n请重新下载安装程序. 游戏文件没有改动, 汉化包没有安装.";

class InstallSafetyTest : public InstallerTest {
  protected:
    void ExpectGameUntouched() {
        ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
        EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
        EXPECT_FALSE(Exists(Game("\\quorvan")));
    }

    void ExpectNothingInstalled() {
        ExpectGameUntouched();
        EXPECT_EQ("<none>", Mark());
        EXPECT_FALSE(gInstallerState.extracting);
        EXPECT_TRUE(Shown("install"));
        EXPECT_FALSE(Shown("uninstall"));
    }

    void ExpectGameRestored() {
        ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
        EXPECT_EQ("the game", FileBytes(Game(std::string("\\") + kGameExecutableName)));
        EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
        EXPECT_FALSE(Exists(Game("\\quorvan")));
        EXPECT_EQ("<none>", Mark());
        EXPECT_TRUE(Shown("install"));
        EXPECT_FALSE(Shown("uninstall"));
    }
};

TEST_F(InstallSafetyTest, DamagedPackageIsNamedInOneBoxBeforeAnythingIsWritten) {
    TestPack pack = StandardPack();
    BreakDigest(pack, "quorvan\\readme.txt");
    BreakBody(pack, "SM3Config.qvx");
    BreakDigest(pack, "psrpc.qvx");
    BreakBody(pack, "copy_low\\cm45_000025.png", 0xFF000000u);  // a size no stream of its length can give
    Open(pack);
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());  // no "MD5 error!" one by one, and no success note
    EXPECT_EQ("错误", boxes[1].caption);
    EXPECT_EQ(unsigned(kMbOk | kMbIconError), boxes[1].style);
    EXPECT_TRUE(boxes[1].hasOwner);
    // In the order the install would have written them.
    EXPECT_EQ(std::string("安装程序已损坏: 有 4 个文件没有通过校验:\r\n"
                          "    sm3config.qvx\r\n"
                          "    quorvan\\readme.txt\r\n"
                          "    copy_low\\cm45_000025.png\r\n"
                          "    psrpc.qvx") +
                  kDamagedAdvice,
              boxes[1].text);
    ExpectNothingInstalled();
    EXPECT_STREQ("", Control("text", "percent").text);

    // Twelve of them: ten by name, then how many more.
    pack = StandardPack();
    for (int i = 0; i < 12; ++i) {
        const std::string name = "quorvan\\broken" + std::to_string(i + 10) + ".bin";
        pack.records.push_back(MakeRecord(name, RandomBytes(300, uint32_t(i))));
        BreakDigest(pack, name);
    }
    DestroyMainWindow();
    Open(pack);
    recorder_.Clear();
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    ASSERT_EQ(2u, recorder_.Messages().size());
    const std::string text = recorder_.Messages()[1].text;
    EXPECT_EQ(0u, text.find("安装程序已损坏: 有 12 个文件没有通过校验:\r\n    quorvan\\broken10.bin\r\n")) << text;
    EXPECT_NE(std::string::npos,
              text.find("\r\n    quorvan\\broken19.bin\r\n    ...以及另外 2 个" + std::string(kDamagedAdvice)))
        << text;
    EXPECT_EQ(std::string::npos, text.find("broken20")) << text;
    ExpectNothingInstalled();
}

// Once checked, the package is read without a second digest: nobody may write it until the install is over.
std::string gPackagePath;
DWORD gWriteOpenError = 0;
bool TryToChangeThePackage(HANDLE file, const void* bytes, size_t size) {
    if (!gWriteOpenError) {
        HANDLE writer = CreateFileA(gPackagePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        gWriteOpenError = writer == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (writer != INVALID_HANDLE_VALUE) {
            gWriteOpenError = DWORD(-1);
            CloseHandle(writer);
        }
    }
    return WriteWholeBuffer(file, bytes, size);
}

TEST_F(InstallSafetyTest, PackageCannotBeChangedBetweenTheCheckAndTheUnpack) {
    TestPack pack = StandardPack();
    Open(pack);
    gPackagePath = dir_.Join("setup.pak");
    gWriteOpenError = 0;
    ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = TryToChangeThePackage; });
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), gWriteOpenError);
    ASSERT_EQ(2u, recorder_.Messages().size());
    EXPECT_EQ("安装成功结束!", recorder_.Messages()[1].text);
    EXPECT_EQ(pack.Bytes("quorvan\\Data\\Sub\\File.BIN"), FileBytes(Game("\\quorvan\\data\\sub\\file.bin")));

    // Let go of once the install is over.
    HANDLE writer = CreateFileA(gPackagePath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer);
    CloseHandle(writer);
}

TEST_F(InstallSafetyTest, MarkThatCannotBeWrittenStopsTheInstallBeforeAnyChange) {
    Open(StandardPack());
    ASSERT_TRUE(SetInstallKeyAccess(KEY_READ | READ_CONTROL | WRITE_DAC));
    Press("install");
    const bool ended = WaitForInstall();
    ASSERT_TRUE(SetInstallKeyAccess(KEY_ALL_ACCESS));
    ASSERT_TRUE(ended);

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_LE(3u, boxes.size());
    EXPECT_EQ("安装确认", boxes.front().caption);
    for (size_t i = 1; i + 1 < boxes.size(); ++i)
        EXPECT_EQ(0u, boxes[i].text.find("REGCHECK Failed!")) << boxes[i].text;
    EXPECT_EQ(kNoMarkText, boxes.back().text);
    EXPECT_EQ("取消安装", boxes.back().caption);
    EXPECT_EQ(unsigned(kMbOk | kMbIconError), boxes.back().style);
    EXPECT_TRUE(boxes.back().hasOwner);
    ExpectNothingInstalled();
    EXPECT_STREQ("", Control("text", "percent").text);
}

TEST_F(InstallSafetyTest, OnlyEntriesBelowThePackFolderAreUnpacked) {
    TestPack pack = StandardPack();
    pack.records.push_back(MakeRecord("quorvan.ini", "not the pack's"));
    pack.records.push_back(MakeRecord("quorvanx\\a.txt", "not the pack's either"));
    Open(pack);
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    ASSERT_EQ(2u, recorder_.Messages().size());
    EXPECT_EQ("安装成功结束!", recorder_.Messages()[1].text);
    EXPECT_FALSE(Exists(Game("\\quorvan.ini")));
    EXPECT_FALSE(Exists(Game("\\quorvanx")));
    EXPECT_EQ(pack.Bytes("quorvan\\readme.txt"), FileBytes(Game("\\quorvan\\readme.txt")));
}

// What the registry said when the first byte went into the game folder.
int gWritesSeen = 0;
bool gMarkedAtFirstWrite = false;
bool NoteTheMarkAtTheFirstWrite(HANDLE file, const void* bytes, size_t size) {
    if (gWritesSeen++ == 0) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstallKeyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            gMarkedAtFirstWrite =
                RegQueryValueExA(key, kQuorvanInfoValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
            RegCloseKey(key);
        }
    }
    return WriteWholeBuffer(file, bytes, size);
}

TEST_F(InstallSafetyTest, InstallationIsMarkedBeforeTheFirstWriteIntoTheGameFolder) {
    Open(StandardPack());
    gWritesSeen = 0;
    gMarkedAtFirstWrite = false;
    ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = NoteTheMarkAtTheFirstWrite; });
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    EXPECT_LT(0, gWritesSeen);
    EXPECT_TRUE(gMarkedAtFirstWrite);
    EXPECT_EQ("安装成功结束!", recorder_.Messages().back().text);
}

// The quit during the unpack: the mark is there already, the user is told that the uninstall puts the game back,
// and the next start offers exactly that.
HANDLE gWorkerWriting = nullptr;
HANDLE gQuitChosen = nullptr;
DWORD gUiThread = 0;
bool WriteOnceTheUserQuit(HANDLE file, const void* bytes, size_t size) {
    if (GetCurrentThreadId() != gUiThread) {
        SetEvent(gWorkerWriting);
        WaitForSingleObject(gQuitChosen, 30000);
    }
    return WriteWholeBuffer(file, bytes, size);
}

TEST_F(InstallSafetyTest, QuitDuringTheUnpackIsToldThatTheUninstallRestoresTheGameAndTheNextStartOffersIt) {
    TestPack pack = StandardPack();
    Open(pack);
    gWorkerWriting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gQuitChosen = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gUiThread = GetCurrentThreadId();
    ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = WriteOnceTheUserQuit; });
    Press("install");
    ASSERT_TRUE(PumpUntil([] { return WaitForSingleObject(gWorkerWriting, 0) == WAIT_OBJECT_0; }, 30000));
    Press("close");  // answered OK
    SetEvent(gQuitChosen);
    StopInstallForQuit(Main(), 60000);
    CloseHandle(gWorkerWriting);
    CloseHandle(gQuitChosen);
    ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = WriteWholeBuffer; });
    EXPECT_FALSE(gInstallWorker.IsBusy());

    std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(3u, boxes.size());
    EXPECT_EQ("强制退出确认", boxes[1].caption);
    EXPECT_EQ("安装没有完成: 安装程序在解压时被关闭.\r\n请再次运行安装程序并选择卸载, 被替换的游戏文件会被还原.",
              boxes[2].text);
    EXPECT_EQ("提示", boxes[2].caption);
    EXPECT_EQ(pack.Bytes("SM3Config.qvx"), FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(game_, Mark());

    // The next start.
    DestroyMainWindow();
    gInstallerState = InstallerState();
    Open(pack);
    EXPECT_TRUE(Shown("uninstall"));
    EXPECT_FALSE(Shown("install"));
    ASSERT_NO_FATAL_FAILURE(UninstallExpectingDone());
    ExpectGameRestored();
}

// An installer killed outright (SIGKILL to its wine64 process, as a crash or a power cut ends it) while it
// unpacks. The child is this program again, running the disabled test below; the shell's own kill sends the
// signal, so the test needs no more than /bin/sh.
const char kChildVariable[] = "QV_KILLED_INSTALL_PACKAGE";
const char kChildTest[] = "KilledInstallChild.DISABLED_InstallsUntilKilled";

// The Linux process whose command line holds token, or "" unless there is exactly one.
std::string UnixProcessWith(const std::string& token) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &data);
    if (search == INVALID_HANDLE_VALUE)
        return std::string();
    do {
        const std::string pid = data.cFileName;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string commandLine;
        if (!ReadBytes("Z:\\proc\\" + pid + "\\cmdline", &commandLine))
            continue;
        std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
        if (commandLine.find(token) != std::string::npos)
            found.push_back(pid);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return found.size() == 1 ? found[0] : std::string();
}

TEST_F(InstallSafetyTest, KilledDuringTheUnpackTheNextStartOffersTheUninstallWhichRestoresTheGame) {
    TestPack pack = StandardPack();
    const std::string package = dir_.Join("setup.pak");
    ASSERT_TRUE(WriteTestPackage(package, pack.records));
    const std::string marker = dir_.Join("unpacking.txt");

    char self[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, self, sizeof self));
    // The token that finds the child among the machine's processes: its own marker file, unique to this test.
    std::string commandLine = std::string("\"") + self +
                              "\" --gtest_also_run_disabled_tests --gtest_filter=" + kChildTest +
                              " --qv-marker=" + marker;
    SetEnvironmentVariableA(kChildVariable, (package + "|" + marker).c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    const BOOL started =
        CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    ASSERT_TRUE(started) << GetLastError();
    CloseHandle(child.hThread);
    auto childEnded = [&child] { return WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0; };

    // The child says when it is in the middle of the unpack, and stays there.
    bool unpacking = false;
    for (DWORD waited = 0; waited < 60000 && !unpacking && !childEnded(); waited += 20) {
        unpacking = Exists(marker);
        if (!unpacking)
            Sleep(20);
    }
    const std::string pid = unpacking ? UnixProcessWith("--qv-marker=" + marker) : std::string();
    const bool killed = !pid.empty() && RunUnix("/bin/sh -c \"kill -9 " + pid + "\"", dir_.path(), childEnded);
    if (!killed)
        TerminateProcess(child.hProcess, 99);
    WaitForSingleObject(child.hProcess, 30000);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hProcess);
    ASSERT_TRUE(unpacking) << "the child never reached the unpack (exit code " << exitCode << ")";
    ASSERT_TRUE(killed) << "the child's process " << (pid.empty() ? "was not found" : pid + " did not end");

    // What the kill left: the mark, the localised configuration program, the library, part of the pack folder.
    EXPECT_EQ(game_, Mark());
    EXPECT_EQ(pack.Bytes("SM3Config.qvx"), FileBytes(Game("\\SM3Config.exe")));
    EXPECT_TRUE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_TRUE(Exists(Game("\\quorvan")));
    EXPECT_FALSE(Exists(Game("\\quorvan\\resource.lst")));  // the library never ran

    // The next start offers the uninstall, which takes it all away and puts the game's files back.
    Open(pack);
    EXPECT_TRUE(Shown("uninstall"));
    EXPECT_FALSE(Shown("install"));
    Press("uninstall");
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("卸载完成!", boxes[1].text);
    ExpectGameRestored();
}

// The child of the test above: installs into the game the parent made, from the parent's package, and hangs in
// the middle of the unpack (its third file half written) until it is killed.
std::string gMarker;
LONG gWorkerWrites = 0;
DWORD gChildUiThread = 0;
bool WriteUntilKilled(HANDLE file, const void* bytes, size_t size) {
    if (GetCurrentThreadId() == gChildUiThread || InterlockedIncrement(&gWorkerWrites) < 3)
        return WriteWholeBuffer(file, bytes, size);
    WriteWholeBuffer(file, bytes, size / 2);
    FlushFileBuffers(file);
    WriteBytes(gMarker, "unpacking");
    Sleep(INFINITE);
    return false;
}

bool PlentyOfSpace(const char*, uint64_t* bytesAvailable) {
    *bytesAvailable = uint64_t(1) << 30;
    return true;
}

TEST(KilledInstallChild, DISABLED_InstallsUntilKilled) {
    char value[2 * MAX_PATH] = {};
    ASSERT_NE(0u, GetEnvironmentVariableA(kChildVariable, value, sizeof value));
    const std::string both = value;
    const std::string package = both.substr(0, both.find('|'));
    gMarker = both.substr(both.find('|') + 1);
    MessageRecorder answers;  // OK to the confirmation
    ASSERT_EQ(IndexStatus::kOk, IndexPackageFile(package.c_str(), gPackageIndex).status);
    gSkinImages.instance = GetModuleHandleA(nullptr);
    SetMainWindowHandlers(InstallerWindowHandlers());
    CreateMainWindowWithImages(MakePicture(200, 100, [](int x, int y) { return RGB(x, y, 128); }),
                               MakePicture(200, 100, [](int x, int y) { return RGB(x, y, 128); }));
    ChangeDependencies([](InstallerDependencies& d) { d.freeSpace = PlentyOfSpace; });
    gChildUiThread = GetCurrentThreadId();
    ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = WriteUntilKilled; });
    PressCommand("install");
    PumpUntil([] { return false; }, 60000);
    std::exit(3);  // never killed: the parent reports it
}

TEST_F(InstallSafetyTest, GameAtTheRootOfADriveInstallsAndUninstalls) {
    DriveAtFolder link(game_);
    ASSERT_FALSE(link.drive().empty());
    const std::string drive = link.drive();
    SetValue(kInstallInfoValue, drive + "\\");  // as a game's setup writes a drive's root
    TestPack pack = StandardPack();
    Open(pack);
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].text.find("安装目录: " + drive + "\\ (磁盘剩余空间: 1024 M)"))
        << boxes[0].text;
    EXPECT_EQ("安装成功结束!", boxes[1].text);
    EXPECT_EQ(std::vector<std::string>{drive + "\\"}, gSeams.drives);
    EXPECT_EQ(drive, Mark());
    EXPECT_EQ(pack.Bytes("SM3Config.qvx"), FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(pack.Bytes("quorvan\\readme.txt"), FileBytes(Game("\\quorvan\\readme.txt")));
    EXPECT_EQ(pack.Bytes("psrpc.qvx"), FileBytes(Game("\\psrpc.dll")));
    EXPECT_TRUE(Exists(Game("\\quorvan\\resource.lst")));
    EXPECT_TRUE(Shown("uninstall"));

    // A mark with the root's separator counts the same.
    SetValue(kQuorvanInfoValue, drive + "\\");
    RefreshControls();
    EXPECT_TRUE(Shown("uninstall"));
    ASSERT_NO_FATAL_FAILURE(UninstallExpectingDone());
    ExpectGameRestored();
}

// Re-entry: while a job runs, presses under its boxes (some have no owner, so the window still takes them) start
// nothing; close and minimise are not jobs.
std::vector<const char*> gPressesUnderBoxes;
MessageHandler gRecorderHandler = nullptr;
bool gPressing = false;
int gSettingsOpened = 0;

int PressUnderTheBox(void* owner, const char* text, const char* caption, unsigned style) {
    if (!gPressing) {
        gPressing = true;
        for (const char* command : gPressesUnderBoxes)
            PressCommand(command);
        gPressing = false;
    }
    return gRecorderHandler(owner, text, caption, style);
}

void CountSettings(HWND) {
    ++gSettingsOpened;
}

TEST_F(InstallSafetyTest, NoSecondJobStartsWhileAnInstallOrAnUninstallShowsItsBoxes) {
    TestPack pack = StandardPack();
    Open(pack);
    ChangeDependencies([](InstallerDependencies& d) { d.openSettings = CountSettings; });
    gSettingsOpened = 0;
    gPressesUnderBoxes = {"uninstall", "setting", "install", "uninstall"};
    gRecorderHandler = SetMessageHandler(PressUnderTheBox);

    // The install: under its confirmation, during its worker, under its last box.
    Press("install");
    Press("setting");
    Press("uninstall");
    EXPECT_TRUE(WaitForInstall());
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("安装确认", boxes[0].caption);
    EXPECT_EQ("安装成功结束!", boxes[1].text);
    EXPECT_EQ(0, gSettingsOpened);

    // The uninstall: under its confirmation and under its last box.
    ASSERT_NO_FATAL_FAILURE(UninstallExpectingDone());
    EXPECT_EQ("卸载确认", recorder_.Messages()[0].caption);
    EXPECT_EQ(0, gSettingsOpened);
    SetMessageHandler(gRecorderHandler);
    ExpectGameRestored();

    // Once it is over, every command works again; minimise worked throughout.
    Press("setting");
    EXPECT_EQ(1, gSettingsOpened);
    ChangeDependencies([](InstallerDependencies& d) { d.openSettings = nullptr; });
}

TEST_F(InstallSafetyTest, MinimiseStillWorksUnderAnUninstallBox) {
    Open(
        StandardPack("text, 10, 10, 90, 30, \"percent\", \"\"\r\n"
                     "install, 10, 40, 90, 60, \"\", \"\"\r\n"
                     "uninstall, 10, 70, 90, 90, \"\", \"\"\r\n"
                     "minimize, 100, 10, 180, 30, \"\", \"\"\r\n"));
    ShowWindow(Main(), SW_SHOWNORMAL);
    gPressesUnderBoxes = {"minimize"};
    gRecorderHandler = SetMessageHandler(PressUnderTheBox);
    recorder_.Answer(kIdCancel);
    Press("uninstall");
    SetMessageHandler(gRecorderHandler);
    EXPECT_TRUE(IsIconic(Main()));
}

}  // namespace
