#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "installer/CommandDispatch_win.h"
#include "installer/FileWrite_win.h"
#include "installer/InstallMark_win.h"
#include "mainwindow/MainWindow_win.h"
#include "package/Package.h"
#include "tests/installer/InstallerFixture_win.h"
#include "tests/installer/WideFiles_win.h"
#include "tests/common/TestPictures_win.h"

namespace {

const char kChooserFilter[] = "Shin Sangokumusou 3.exe|Shin Sangokumusou 3.exe|";
const char kTooLittleSpace[] = "汉化包安装至少需要300M硬盘空间才能安装!";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

// The confirmation text, its third note (ours) left out.
void ExpectConfirmation(const RecordedMessage& box, const std::string& folder, unsigned megabytes) {
    EXPECT_EQ("安装确认", box.caption);
    EXPECT_EQ(unsigned(kMbOkCancel | kMbIconQuestion), box.style);
    EXPECT_TRUE(box.hasOwner);
    std::vector<std::string> lines = Lines(box.text);
    ASSERT_EQ(10u, lines.size()) << box.text;
    EXPECT_EQ("3. ", lines[6].substr(0, 3));
    lines[6] = "3. ";
    const std::vector<std::string> expected = {
        "简体汉化包占用硬盘空间: 250M",
        "安装目录: " + folder + " (磁盘剩余空间: " + std::to_string(megabytes) + " M)",
        "",
        "注意:",
        "1. 本安装包含完整汉化，不要和其他汉化包混用，否则会有兼容性问题.",
        "2. 兼容官方1.01升级补丁(2005/05/19, 先安装升级补丁).",
        "3. ",
        "4. 解压会用较长时间，请耐心等待.",
        "",
        "是否开始安装?",
    };
    EXPECT_EQ(expected, lines);
}

void ExpectDoneBox(const RecordedMessage& box) {
    ExpectBox(box, "安装成功结束!", "提示", kMbOk | kMbIconInformation, true);
}

// What the status label shows each time it is painted.
WNDPROC gStatusProc = nullptr;
std::vector<std::string> gPainted;

LRESULT CALLBACK RecordingStatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT && StatusControl())
        gPainted.push_back(StatusControl()->text);
    return CallWindowProcA(gStatusProc, window, message, wParam, lParam);
}

class InstallFlowTest : public InstallerTest {
  protected:
    // Nothing of an installation has happened: game files, registry, controls and state as before.
    void ExpectNothingInstalled() {
        EXPECT_EQ(kOriginalConfig, FileBytes(Game("\\SM3Config.exe")));
        EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
        EXPECT_FALSE(Exists(Game("\\quorvan")));
        std::string value;
        EXPECT_FALSE(ReadValue(kQuorvanInfoValue, &value));
        EXPECT_FALSE(gInstallerState.extracting);
        EXPECT_FALSE(gInstallWorker.IsBusy());
        EXPECT_TRUE(Shown("install"));
        EXPECT_FALSE(Shown("uninstall"));
    }

    // An install into the game's folder as chosen in the file chooser (the executable in folder), the note that
    // asks for it answered OK and the confirmation Cancel. Returns the boxes shown.
    std::vector<RecordedMessage> CancelInstallIntoChosen(const std::string& folder) {
        gSeams.chosenPath = folder + "\\" + kGameExecutableName;
        recorder_.Clear();
        recorder_.Answer(kIdOk);
        recorder_.Answer(kIdCancel);
        Press("install");
        return recorder_.Messages();
    }
};

TEST_F(InstallFlowTest, InstallThenUninstallLeavesTheGameAsItWas) {
    TestPack pack = StandardPack();
    Open(pack);
    SetValue(kQuorvanGeforce2mxValue, "1");
    ASSERT_TRUE(Shown("install"));
    ASSERT_FALSE(Shown("uninstall"));
    LayoutRecord& status = Control("text", "percent");
    gStatusProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(status.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingStatusProc)));
    gPainted.clear();

    Press("install");
    EXPECT_TRUE(gInstallerState.extracting);
    EXPECT_FALSE(Shown("install"));
    EXPECT_FALSE(Shown("uninstall"));
    ASSERT_TRUE(WaitForInstall());

    std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectConfirmation(boxes[0], game_, 1024);
    ExpectDoneBox(boxes[1]);

    // Every pack entry under its lower-cased name, the copy table over it, the two files of the first step.
    for (const TestRecord& record : pack.records) {
        std::string name = record.recordSpec.name;
        LowerAsciiDbcs(name);
        if (name.compare(0, 8, "quorvan\\") == 0 && name != "quorvan\\data\\common\\japanese\\high\\font00a.png") {
            EXPECT_EQ(record.bytes, FileBytes(Game("\\" + name))) << name;
        }
    }
    for (const CopyRow& row : kCopyTable)
        EXPECT_EQ(pack.Bytes(row.entry), FileBytes(Game(row.target))) << row.entry;
    EXPECT_EQ(pack.Bytes("SM3Config.qvx"), FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(pack.Bytes("SavePatch.qvx"), FileBytes(Game("\\SavePatch.qvx")));
    EXPECT_TRUE(Exists(Game("\\quorvan\\resource.lst")));  // the library ran
    EXPECT_FALSE(Exists(Game("\\other")));
    std::string value;
    ASSERT_TRUE(ReadValue(kQuorvanInfoValue, &value));
    EXPECT_EQ(game_, value);
    EXPECT_FALSE(Shown("install"));
    EXPECT_TRUE(Shown("uninstall"));

    // The label showed "Copying..." during the check, then the unpack's share rising to "Copying... 100%", then the
    // library's progress, then nothing. The taskbar's bar has gone with the install.
    EXPECT_STREQ("", status.text);
    auto copying = std::find(gPainted.begin(), gPainted.end(), "Copying...");
    ASSERT_NE(gPainted.end(), copying);
    auto unpack = std::find_if(copying, gPainted.end(),
                               [](const std::string& text) { return text.compare(0, 11, "Copying... ") == 0; });
    auto progress = std::find_if(unpack, gPainted.end(),
                                 [](const std::string& text) { return text.compare(0, 12, "正在安装资源") == 0; });
    ASSERT_NE(gPainted.end(), progress);
    EXPECT_NE(gPainted.end(), std::find(progress, gPainted.end(), ""));
    std::vector<int> shares;
    for (auto painted = unpack; painted != progress; ++painted) {
        const int share = std::atoi(painted->c_str() + std::min<size_t>(painted->size(), 11));
        EXPECT_EQ("Copying... " + std::to_string(share) + "%", *painted);
        EXPECT_TRUE(shares.empty() || shares.back() <= share) << *painted;
        shares.push_back(share);
    }
    ASSERT_FALSE(shares.empty());
    EXPECT_EQ(100, shares.back());
    EXPECT_FALSE(gInstallerState.taskbar);
    ShowInstallProgress(Main(), 100);  // a report still queued when the install ended
    EXPECT_FALSE(gInstallerState.taskbar);

    recorder_.Clear();
    Press("uninstall");
    boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectBox(boxes[0], "是否卸载简体中文汉化包?", "卸载确认", kMbOkCancel | kMbIconQuestion, true);
    ExpectBox(boxes[1], "卸载完成!", "提示", kMbOk | kMbIconInformation, true);
    EXPECT_FALSE(Exists(Game("\\quorvan")));
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    EXPECT_EQ("the game", FileBytes(Game(std::string("\\") + kGameExecutableName)));
    EXPECT_FALSE(ReadValue(kQuorvanInfoValue, &value));
    ASSERT_TRUE(ReadValue(kQuorvanGeforce2mxValue, &value));
    EXPECT_EQ("1", value);
    ASSERT_TRUE(ReadValue(kInstallInfoValue, &value));
    EXPECT_EQ(game_, value);
    EXPECT_TRUE(Shown("install"));
    EXPECT_FALSE(Shown("uninstall"));
}

TEST_F(InstallFlowTest, WithoutTheGameTheUserIsAskedAndCancellingChangesNothing) {
    Open(StandardPack());
    ASSERT_TRUE(DeleteFileA(Game(std::string("\\") + kGameExecutableName).c_str()));
    for (bool valueKept : {true, false}) {
        SCOPED_TRACE(valueKept ? "InstallInfo names a folder without the game" : "no InstallInfo");
        if (!valueKept)
            DeleteValue(kInstallInfoValue);
        recorder_.Clear();
        gSeams.chooserCalls.clear();
        Press("install");
        const std::vector<RecordedMessage> boxes = recorder_.Messages();
        ASSERT_EQ(2u, boxes.size());
        ExpectBox(boxes[0], "请手工指定安装目录!", "未找到真.三国无双3安装目录", kMbOk | kMbIconWarning, true);
        ExpectBox(boxes[1], "必须制定真.三国无双3安装目录!", "取消安装", kMbOk | kMbIconError, true);
        ASSERT_EQ(1u, gSeams.chooserCalls.size());
        EXPECT_EQ(Main(), gSeams.chooserCalls[0].owner);
        EXPECT_EQ("", gSeams.chooserCalls[0].start);
        EXPECT_EQ(kChooserFilter, gSeams.chooserCalls[0].filter);
        EXPECT_TRUE(gSeams.drives.empty());
        ExpectNothingInstalled();
    }

    // The chosen executable's folder becomes the install folder.
    const std::string chosenGame = dir_.Join("chosen");
    MakeGame(chosenGame);
    gSeams.chooserAnswers = true;
    const std::vector<RecordedMessage> boxes = CancelInstallIntoChosen(chosenGame);
    ASSERT_EQ(2u, boxes.size());
    ExpectConfirmation(boxes[1], chosenGame, 1024);
    ExpectNothingInstalled();
}

TEST_F(InstallFlowTest, FolderHoldingATrailByteBackslashIsKeptWhole) {
    Open(StandardPack());
    const std::string folder = dir_.Join("三国淺");  // 淺 is 9C 5C in GBK
    ASSERT_EQ('\\', folder.back());
    MakeGame(folder);
    SetValue(kInstallInfoValue, folder);
    gSeams.freeBytes = (uint64_t(307200) + 1023) * 1024;  // the megabytes are whole: 300
    recorder_.Answer(kIdCancel);
    Press("install");
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(1u, boxes.size());
    ExpectConfirmation(boxes[0], folder, 300);
    // The free space of the folder's own volume.
    EXPECT_EQ(std::vector<std::string>{folder + "\\"}, gSeams.drives);
    ExpectNothingInstalled();
}

TEST_F(InstallFlowTest, FreeSpaceDecidesBeforeTheConfirmation) {
    struct Case {
        const char* name;
        uint64_t bytes;
        bool known;
        int megabytes;  // shown in the confirmation; -1: refused
    };
    const Case cases[] = {
        {"exactly 300 MB", uint64_t(307200) * 1024, true, 300},
        {"one kilobyte less", uint64_t(307199) * 1024, true, -1},
        {"1023 bytes do not make a kilobyte", uint64_t(307200) * 1024 - 1, true, -1},
        {"drive cannot be asked", uint64_t(1) << 40, false, -1},
        {"4 TB, beyond a 32-bit count of kilobytes", uint64_t(1) << 42, true, 4194303},
    };
    Open(StandardPack());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gSeams.freeBytes = c.bytes;
        gSeams.freeSpaceKnown = c.known;
        recorder_.Clear();
        recorder_.Answer(kIdCancel);
        Press("install");
        const std::vector<RecordedMessage> boxes = recorder_.Messages();
        ASSERT_EQ(1u, boxes.size());
        if (c.megabytes < 0)
            ExpectBox(boxes[0], kTooLittleSpace, "取消安装", kMbOk | kMbIconError, true);
        else
            ExpectConfirmation(boxes[0], game_, unsigned(c.megabytes));
        ExpectNothingInstalled();
    }
}

TEST_F(InstallFlowTest, FolderLongerThan255BytesIsRefused) {
    Open(StandardPack());
    DeleteValue(kInstallInfoValue);
    gSeams.chooserAnswers = true;
    for (size_t length : {size_t(255), size_t(256)}) {
        SCOPED_TRACE(length);
        const std::string folder = "C:\\" + std::string(length - 3, 'a');
        const std::vector<RecordedMessage> boxes = CancelInstallIntoChosen(folder);
        ASSERT_EQ(2u, boxes.size());
        if (length == 255)
            ExpectConfirmation(boxes[1], folder, 1024);
        else
            ExpectBox(boxes[1], "安装目录的路径超过255字节, 无法安装!", "取消安装", kMbOk | kMbIconError, true);
        ExpectNothingInstalled();
    }
}

TEST_F(InstallFlowTest, CloseDuringTheInstallAsksAndCancelLetsItFinish) {
    Open(StandardPack());
    recorder_.Answer(kIdOk);
    recorder_.Answer(kIdCancel);
    Press("install");
    ASSERT_TRUE(gInstallerState.extracting);
    Press("close");
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    ASSERT_TRUE(WaitForInstall());

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(3u, boxes.size());
    ExpectBox(boxes[1], "解压文件中!!! 请耐心等待...\r\n是否强制推出?", "强制退出确认", kMbOkCancel | kMbIconError,
              true);
    ExpectDoneBox(boxes[2]);
    std::string value;
    EXPECT_TRUE(ReadValue(kQuorvanInfoValue, &value));
    EXPECT_TRUE(Shown("uninstall"));

    // Once the install is over, close ends the program without asking.
    Press("close");
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(3u, recorder_.Messages().size());
}

TEST_F(InstallFlowTest, CloseDuringTheInstallAnsweredOkEndsTheMessageLoop) {
    Open(StandardPack());
    Press("install");
    Press("close");  // answered OK
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ("强制退出确认", recorder_.Messages().at(1).caption);
}

TEST_F(InstallFlowTest, PackageWithoutTheLibraryIsReportedAndTheInstallCompletes) {
    TestPack pack = StandardPack();
    pack.Remove("SavePatch.qvx");
    Open(pack);
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    // No library was written, so none is loaded: the last box says so instead of the success note.
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(3u, boxes.size());
    ExpectBox(boxes[1], "SavePatch.qvx", "Find file in package error!", kMbOk, false);
    ExpectFailureBox(
        boxes[2], "安装结束, 但有 2 项未能完成:", {"安装包中没有: SavePatch.qvx", "资源安装库未能运行: SavePatch.qvx"});
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_FALSE(Exists(Game("\\quorvan\\resource.lst")));
    EXPECT_EQ(pack.Bytes("quorvan\\readme.txt"), FileBytes(Game("\\quorvan\\readme.txt")));
    std::string value;
    EXPECT_TRUE(ReadValue(kQuorvanInfoValue, &value));
    EXPECT_TRUE(Shown("uninstall"));
}

TEST_F(InstallFlowTest, MissingCopyRowIsReportedAndTheOtherRowsAreCopied) {
    TestPack pack = StandardPack();
    pack.Remove(kCopyTable[5].entry);
    Open(pack);
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(3u, boxes.size());
    ExpectBox(boxes[1], kCopyTable[5].entry, "Find file in package error!", kMbOk, false);
    ExpectFailureBox(boxes[2],
                     "安装结束, 但有 1 项未能完成:", {std::string("安装包中没有: ") + (kCopyTable[5].target + 1)});
    for (size_t i = 0; i < std::size(kCopyTable); ++i) {
        if (i == 5)
            EXPECT_FALSE(Exists(Game(kCopyTable[i].target)));
        else
            EXPECT_EQ(pack.Bytes(kCopyTable[i].entry), FileBytes(Game(kCopyTable[i].target))) << i;
    }
}

TEST_F(InstallFlowTest, LayoutWithoutAStatusControlInstallsWithoutStatusText) {
    Open(
        StandardPack("text, 10, 10, 90, 30, \"Percent\", \"\"\r\n"
                     "install, 10, 40, 90, 60, \"\", \"\"\r\n"
                     "uninstall, 10, 70, 90, 90, \"\", \"\"\r\n"));
    LayoutRecord& label = Control("text");
    EXPECT_EQ(kLayoutLabel, label.flags);
    EXPECT_TRUE(GetWindowLongPtrA(label.window, GWL_STYLE) & WS_DISABLED);
    EXPECT_EQ(nullptr, StatusControl());

    Press("install");
    ASSERT_TRUE(WaitForInstall());
    EXPECT_EQ(2u, recorder_.Messages().size());
    EXPECT_TRUE(Exists(Game("\\quorvan\\resource.lst")));
    std::string value;
    EXPECT_TRUE(ReadValue(kQuorvanInfoValue, &value));
    EXPECT_STREQ("", label.text);
}

TEST_F(InstallFlowTest, EntriesThatWouldLeaveTheFolderAreSkippedAndReportedOnce) {
    TestPack pack = StandardPack();
    Open(pack);
    // The package tool refuses such names; a package made elsewhere may still hold them.
    for (const char* name :
         {"quorvan\\..\\escaped.txt", "quorvan\\data\\..\\..\\..\\escaped.txt", "quorvan\\a:stream"}) {
        PackageEntry entry = gPackageIndex.at("quorvan\\readme.txt");
        entry.name = name;
        gPackageIndex[name] = entry;
    }
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(3u, boxes.size());
    EXPECT_EQ("错误", boxes[1].caption);
    EXPECT_NE(std::string::npos, boxes[1].text.find(" 3 ")) << boxes[1].text;
    ExpectDoneBox(boxes[2]);
    EXPECT_FALSE(Exists(Game("\\escaped.txt")));
    EXPECT_FALSE(Exists(dir_.Join("escaped.txt")));
    EXPECT_EQ(pack.Bytes("quorvan\\readme.txt"), FileBytes(Game("\\quorvan\\readme.txt")));
}

TEST_F(InstallFlowTest, WorkerThatCannotStartIsReportedAndNothingStaysHidden) {
    Open(StandardPack());
    // A run that is still waiting to hand back keeps the worker busy.
    const std::string elsewhere = dir_.Join("elsewhere");
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(elsewhere + "\\SavePatch.qvx", StandardPack().Bytes("SavePatch.qvx")));
    HeldFolder held;  // held until the earlier run has ended, below
    ASSERT_TRUE(held.Open(elsewhere));
    ASSERT_TRUE(gInstallWorker.Begin(elsewhere, held, Main(), StatusTarget(), gPackageIndex));
    Press("install");
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectBox(boxes[1], "无法启动安装线程, 安装未能完成!", "错误", kMbOk | kMbIconError, true);
    EXPECT_FALSE(gInstallerState.extracting);
    EXPECT_TRUE(Shown("install"));

    // The earlier run's hand-back finds no install in progress and changes nothing.
    ASSERT_TRUE(PumpUntil([] { return !gInstallWorker.IsBusy(); }, 30000));
    std::string value;
    EXPECT_FALSE(ReadValue(kQuorvanInfoValue, &value));
    EXPECT_EQ(2u, recorder_.Messages().size());
}

TEST_F(InstallFlowTest, CommandsOutsideTheTableDoNothing) {
    Open(
        StandardPack("Install, 10, 10, 90, 30, \"\", \"\"\r\n"
                     "installs, 10, 40, 90, 60, \"\", \"\"\r\n"
                     "bogus, 10, 70, 90, 90, \"\", \"\"\r\n"
                     "install, 100, 10, 180, 30, \"\", \"\"\r\n"));
    for (size_t i = 0; i < 3; ++i)
        SendMessageA(Main(), WM_COMMAND, kFirstControlId + i, 0);
    EXPECT_TRUE(recorder_.Messages().empty());
    EXPECT_TRUE(gSeams.chooserCalls.empty());
    EXPECT_TRUE(gSeams.drives.empty());
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_FALSE(gInstallerState.extracting);
    // Only the exact word is a command; the others keep their look.
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(GetWindowLongPtrA(gSkinLayout[i].window, GWL_STYLE) & WS_VISIBLE) << i;
}

TEST_F(InstallFlowTest, ControlsFollowTheInstallState) {
    Open(StandardPack());
    struct Case {
        bool installed;
        JobPhase phase;
        bool installShown;
        bool uninstallShown;
    };
    const Case cases[] = {
        {false, JobPhase::kNone, true, false},
        {true, JobPhase::kNone, false, true},
        {false, JobPhase::kUnpacking, false, false},
        {true, JobPhase::kUnpacking, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "installed " << c.installed << ", phase " << int(c.phase));
        if (c.installed)
            SetValue(kQuorvanInfoValue, game_);
        else
            DeleteValue(kQuorvanInfoValue);
        gInstallerState.phase = c.phase;
        for (LayoutRecord& record : gSkinLayout)
            record.flags = kLayoutHover;
        std::snprintf(Control("text", "percent").text, kLayoutTextSize, "%s", "old");
        RefreshControls();
        EXPECT_EQ(c.installShown, Shown("install"));
        EXPECT_EQ(c.uninstallShown, Shown("uninstall"));
        EXPECT_EQ(0u, Control("close").flags);
        EXPECT_EQ(kLayoutLabel, Control("text", "label").flags);
        EXPECT_EQ(&Control("text", "percent"), StatusControl());
        EXPECT_STREQ("", StatusControl()->text);
    }
    gInstallerState.phase = JobPhase::kNone;
}

int gSettingsOpened = 0;
JobPhase gPhaseWhileOpen = JobPhase::kNone;

// One job at a time on the game folder: in every phase of a job, "install", "uninstall" and "setting" do nothing
// (presses under a box without owner); quitting asks only while the install is under way, when neither the install
// nor the uninstall control shows.
TEST_F(InstallFlowTest, CommandsDuringAJobFollowItsPhase) {
    Open(StandardPack());
    gSettingsOpened = 0;
    ChangeDependencies([](InstallerDependencies& d) {
        d.openSettings = [](HWND) {
            ++gSettingsOpened;
            gPhaseWhileOpen = gInstallerState.phase;
        };
    });
    struct Case {
        JobPhase phase;
        bool installUnderWay;
    };
    const Case cases[] = {
        {JobPhase::kConfirming, false}, {JobPhase::kChecking, true},      {JobPhase::kUnpacking, true},
        {JobPhase::kFinishing, true},   {JobPhase::kUninstalling, false}, {JobPhase::kSettings, false},
    };
    for (const Case& c : cases) {
        for (const bool installed : {false, true}) {
            SCOPED_TRACE(testing::Message() << "phase " << int(c.phase) << ", installed " << installed);
            if (installed)
                SetValue(kQuorvanInfoValue, game_);
            else
                DeleteValue(kQuorvanInfoValue);
            gInstallerState.phase = c.phase;
            recorder_.Clear();
            RefreshControls();
            EXPECT_EQ(!c.installUnderWay && !installed, Shown("install"));
            EXPECT_EQ(!c.installUnderWay && installed, Shown("uninstall"));

            for (const char* command : {"install", "uninstall", "setting"})
                Press(command);
            EXPECT_TRUE(recorder_.Messages().empty());
            EXPECT_EQ(0, gSettingsOpened);
            EXPECT_EQ(c.phase, gInstallerState.phase);
            EXPECT_EQ(installed, Marked());
            EXPECT_FALSE(gInstallWorker.IsBusy());

            recorder_.Answer(kIdCancel);
            Press("close");
            MSG quit;
            EXPECT_EQ(!c.installUnderWay, PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE);
            ASSERT_EQ(c.installUnderWay ? 1u : 0u, recorder_.Messages().size());
            if (c.installUnderWay) {
                EXPECT_EQ("强制退出确认", recorder_.Messages()[0].caption);
            }
        }
    }

    // Without a job the same press goes through, and the job's phase ends with it.
    gInstallerState.phase = JobPhase::kNone;
    Press("setting");
    EXPECT_EQ(1, gSettingsOpened);
    EXPECT_EQ(JobPhase::kSettings, gPhaseWhileOpen);
    EXPECT_EQ(JobPhase::kNone, gInstallerState.phase);
}

// Quitting during an install ends the message loop while the worker runs. Before the window and the tables the
// worker uses go, it is stopped and waited for, and the user is told that the installation did not finish.
HANDLE gQuitPressed = nullptr;
DWORD gUiThread = 0;

// The worker's first write waits until the user has chosen to quit, so the quit always finds it unpacking.
bool WriteAfterTheQuit(HANDLE file, const void* bytes, size_t size) {
    if (GetCurrentThreadId() != gUiThread)
        WaitForSingleObject(gQuitPressed, 30000);
    return WriteWholeBuffer(file, bytes, size);
}

TEST_F(InstallFlowTest, QuitDuringTheInstallStopsTheWorkerAndSaysTheInstallDidNotFinish) {
    Open(StandardPack());
    gQuitPressed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gUiThread = GetCurrentThreadId();
    ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = WriteAfterTheQuit; });
    Press("install");
    Press("close");  // answered OK
    SetEvent(gQuitPressed);
    StopInstallForQuit(Main(), 60000);
    CloseHandle(gQuitPressed);
    EXPECT_FALSE(gInstallWorker.IsBusy());
    EXPECT_FALSE(gInstallerState.extracting);

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(3u, boxes.size());
    EXPECT_EQ("强制退出确认", boxes[1].caption);
    ExpectBox(boxes[2], "安装没有完成: 安装程序在解压时被关闭.\r\n请再次运行安装程序完成安装.", "提示",
              kMbOk | kMbIconWarning, true);
    // The library was not called and nothing was handed back: the game's own files and the mark are untouched.
    EXPECT_FALSE(Exists(Game("\\quorvan\\resource.lst")));
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(kOriginalLoadScreen, FileBytes(Game("\\media\\data\\etc\\japanese\\loadscreen.png")));
    std::string value;
    EXPECT_FALSE(ReadValue(kQuorvanInfoValue, &value));
}

// The settings dialog comes from the program's resources, which this test program carries too.
TEST_F(InstallFlowTest, SettingOpensTheSettingsDialogModally) {
    Open(StandardPack());
    const DWORD uiThread = GetCurrentThreadId();
    std::string caption;
    std::thread closer([&] {
        for (int i = 0; i < 500; ++i) {
            HWND dialog = FindDialog(uiThread);
            if (dialog) {
                caption = WindowText(dialog);
                PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box; Escape does nothing
                return;
            }
            Sleep(20);
        }
    });
    Press("setting");  // returns once the dialog is closed
    closer.join();
    EXPECT_EQ("设置", caption);
    EXPECT_TRUE(recorder_.Messages().empty());
}

}  // namespace
