#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "installer/InstallMark_win.h"
#include "installer/ResourceLibrary_win.h"
#include "package/Package.h"
#include "resources/resource.h"
#include "settings/SaveFile_win.h"
#include "settings/SettingsDialog_win.h"
#include "support/StdioFile.h"
#include "support/SystemText_win.h"
#include "tests/common/HostLinks_win.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TestRegistry_win.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestFiles_win.h"
#include "tests/common/TestPackage.h"
#include "tests/common/TestWindows_win.h"

namespace {

constexpr int kFileNameEditId = 0x480;   // edt1 of the open-file dialog
constexpr int kFileNameComboId = 0x47C;  // cmb13, where the dialog has a combo box instead
constexpr long kSaveSize = 2000;
const char kHighTarget[] = "bg\\high\\user_font01b.tga";

// A window's text as GBK. The dialog is a UTF-16 dialog: read through the A functions its texts would pass through
// the system's code page, which is not GBK on every system the tests run under.
std::string GbkTextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    std::string gbk;
    return GbkFromWide(text, &gbk) ? gbk : "(no GBK spelling)";
}

std::string TextOf(HWND dialog, int id) {
    return GbkTextOf(GetDlgItem(dialog, id));
}

// Types a GBK text into a control of the dialog, as the user would in UTF-16.
void SetName(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, Wide(text).c_str());
}

// A visible dialog of the thread (other than skip) with that caption (any, for null), waited for up to 30 s.
HWND WaitForDialog(DWORD thread, const char* title, HWND skip = nullptr) {
    for (int i = 0; i < 3000; ++i) {
        HWND found = FindDialog(thread, nullptr, skip);
        if (found && (!title || GbkTextOf(found) == title))
            return found;
        Sleep(10);
    }
    return nullptr;
}

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str());
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// A press of a button, handled before this returns (message boxes are answered by the recorder).
void Press(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// A press whose handling opens a dialog of its own: the player must not wait for it.
void PressLater(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 3000; ++i) {
        if (condition())
            return true;
        Sleep(10);
    }
    return false;
}

// Which controls the user can use, and what 1004 and 1007 say.
struct Appearance {
    bool name1, name2, font, cancel;
    std::string button, path;
};

Appearance Look(HWND dialog) {
    return {Enabled(dialog, IDC_NAME1),       Enabled(dialog, IDC_NAME2),    Enabled(dialog, IDC_CHOOSE_FONT),
            Enabled(dialog, IDC_CANCEL_SAVE), TextOf(dialog, IDC_OPEN_SAVE), TextOf(dialog, IDC_SAVE_PATH)};
}

void ExpectNoFile(HWND dialog, const char* where) {
    const Appearance look = Look(dialog);
    EXPECT_FALSE(look.name1 || look.name2 || look.font || look.cancel) << where;
    EXPECT_EQ("打开", look.button) << where;
    EXPECT_EQ("", look.path) << where;
}

void ExpectFileOpen(HWND dialog, const std::string& path, const char* where) {
    const Appearance look = Look(dialog);
    EXPECT_TRUE(look.name1 && look.name2 && look.font && look.cancel) << where;
    EXPECT_EQ("保存", look.button) << where;
    EXPECT_EQ(path, look.path) << where;
}

std::string Flag() {
    char value[64] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kInstallKeyPath, kQuorvanGeforce2mxValue, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return "(none)";
    return value;
}

void SetValue(const char* name, const std::string& text) {
    ASSERT_TRUE(SetInstallValue(name, text));
}

std::string SaveBytes(long size) {
    std::string bytes(static_cast<size_t>(size), '\0');
    for (long i = 0; i < size; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

// Folders above a file, made one by one.
void MakeParents(const std::string& path) {
    const std::wstring wide = Wide(path);
    for (size_t i = 3; i < wide.size(); ++i)
        if (wide[i] == L'\\')
            CreateDirectoryW(wide.substr(0, i).c_str(), nullptr);
}

// Every showing of the dialog runs modally on the test thread while a second thread plays the user.
class SettingsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DeleteKeyTree(HKEY_CURRENT_USER, kInstallKeyPath);
        savePath_ = DefaultSaveFilePath(nullptr);
        ASSERT_FALSE(savePath_.empty());
        RemoveSave();
        MakeParents(savePath_);
        UserFontFace = "宋体";
        ASSERT_TRUE(CopyFileA(QV_FAKE_USERFONT_FILE, dir_.Join("SavePatch.qvx").c_str(), FALSE));
        std::string library;
        ASSERT_TRUE(ReadBytes(QV_FAKE_USERFONT_FILE, &library));
        PackageLibrary(library);
    }
    void TearDown() override {
        CloseSaveFile();
        RemoveSave();
        DeleteKeyTree(HKEY_CURRENT_USER, kInstallKeyPath);
        gPackageIndex.clear();
    }

    // The program's own package with these bytes as its "SavePatch.qvx": only a library that holds exactly them
    // is loaded.
    void PackageLibrary(const std::string& bytes) {
        const std::string package = packageDir_.Join("package.bin");
        ASSERT_TRUE(WriteTestPackage(package, {MakeRecord("SavePatch.qvx", bytes)}));
        gPackageIndex.clear();
        ASSERT_EQ(IndexStatus::kOk, IndexPackageFile(package.c_str(), gPackageIndex).status);
    }

    void RemoveSave() {
        DeleteFileW(Wide(savePath_).c_str());
        DeleteFileW(Wide(savePath_ + kSaveBackupSuffix).c_str());
        RemoveDirectoryW(Wide(savePath_ + kSaveBackupSuffix).c_str());
    }
    void PlaceSave(long size) { ASSERT_TRUE(WriteFileBytes(savePath_, SaveBytes(size))); }
    void Installed() { SetValue(kQuorvanInfoValue, dir_.path()); }

    // Shows the dialog until the script ends it (or, if it does not, until it is closed afterwards).
    INT_PTR Run(const std::function<void(HWND)>& script) {
        const DWORD ui = GetCurrentThreadId();
        std::thread player([&] {
            HWND dialog = WaitForDialog(ui, "设置");
            if (!dialog)
                return;
            script(dialog);
            if (IsWindow(dialog) && IsWindowVisible(dialog))
                PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
        const INT_PTR result =
            DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), nullptr, SettingsDialogProc, 0);
        player.join();
        return result;
    }

    // The records the stand-in library wrote, each a list of its eleven arguments.
    std::vector<std::vector<std::string>> Calls() {
        std::string bytes;
        std::vector<std::vector<std::string>> calls;
        if (!ReadBytes(dir_.Join("calls.bin"), &bytes))
            return calls;
        size_t at = 0;
        while (at < bytes.size()) {
            std::vector<std::string> call;
            while (at < bytes.size() && bytes[at] != '\n') {
                const size_t end = bytes.find('\0', at);
                call.push_back(bytes.substr(at, end - at));
                at = end + 1;
            }
            ++at;
            calls.push_back(call);
        }
        return calls;
    }

    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const RecordedMessage& message : recorder_.Messages())
            texts.push_back(message.text);
        return texts;
    }

    MessageRecorder recorder_;
    TempDir dir_;
    TempDir packageDir_;
    std::string savePath_;
};

TEST_F(SettingsDialogTest, ReturnRewritesTheFlagOneStaysOneAnythingElseBecomesZero) {
    struct Case {
        const char* stored;  // null: no value
        bool checked;
        const char* written;
    };
    for (const Case& c : {Case{nullptr, false, "0"}, Case{"1", true, "1"}, Case{"0", false, "0"},
                          Case{"yes", false, "0"}, Case{"11", false, "0"}}) {
        DeleteKeyTree(HKEY_CURRENT_USER, kInstallKeyPath);
        if (c.stored)
            SetValue(kQuorvanGeforce2mxValue, c.stored);
        bool checked = false;
        bool visible = true;
        const INT_PTR result = Run([&](HWND dialog) {
            checked = IsDlgButtonChecked(dialog, IDC_GEFORCE2MX) == BST_CHECKED;
            visible = IsWindowVisible(GetDlgItem(dialog, IDC_GEFORCE2MX)) != FALSE;
            Press(dialog, IDOK);
        });
        const std::string stored = c.stored ? c.stored : "(none)";
        EXPECT_EQ(1, result) << stored;
        EXPECT_EQ(c.checked, checked) << stored;
        EXPECT_FALSE(visible) << stored;
        EXPECT_EQ(c.written, Flag()) << stored;
    }
    EXPECT_TRUE(recorder_.Messages().empty());
}

TEST_F(SettingsDialogTest, CloseBoxEndsWithZeroAndLeavesTheFlagAlone) {
    SetValue(kQuorvanGeforce2mxValue, "yes");
    EXPECT_EQ(0, Run([](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }));
    EXPECT_EQ("yes", Flag());
    DeleteKeyTree(HKEY_CURRENT_USER, kInstallKeyPath);
    EXPECT_EQ(0, Run([](HWND dialog) { SendMessageA(dialog, WM_CLOSE, 0, 0); }));
    EXPECT_EQ("(none)", Flag());
}

TEST_F(SettingsDialogTest, EscapeAndItsCancelCommandDoNothing) {
    bool stillShown = false;
    const INT_PTR result = Run([&](HWND dialog) {
        PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYUP, VK_ESCAPE, 0);
        Press(dialog, IDCANCEL);
        Sleep(300);
        stillShown = IsWindow(dialog) && IsWindowVisible(dialog);
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(stillShown);
    EXPECT_EQ(0, result);
    EXPECT_EQ("(none)", Flag());
}

TEST_F(SettingsDialogTest, OpenShowsTheFileAndCancelGoesBackWithoutWriting) {
    PlaceSave(kSaveSize);
    Run([&](HWND dialog) {
        ExpectNoFile(dialog, "at start");
        Press(dialog, IDC_CANCEL_SAVE);  // nothing open: nothing happens
        ExpectNoFile(dialog, "cancel with nothing open");
        Press(dialog, IDC_OPEN_SAVE);
        ExpectFileOpen(dialog, savePath_, "after open");
        EXPECT_EQ("测试名称", TextOf(dialog, IDC_NAME1));
        EXPECT_EQ("测试名称", TextOf(dialog, IDC_NAME2));
        Press(dialog, IDC_CANCEL_SAVE);
        ExpectNoFile(dialog, "after cancel");
        Press(dialog, IDC_OPEN_SAVE);  // the file can be opened again
        ExpectFileOpen(dialog, savePath_, "opened again");
        Press(dialog, IDC_CANCEL_SAVE);
    });
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(SaveBytes(kSaveSize), bytes);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(savePath_ + kSaveBackupSuffix));
    EXPECT_TRUE(recorder_.Messages().empty());
}

TEST_F(SettingsDialogTest, SaveLeftOpenIsClosedWhenTheDialogEndsSoTheNextShowingStartsWithNone) {
    PlaceSave(kSaveSize);
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        Press(dialog, IDOK);
    });
    EXPECT_FALSE(SaveFileIsOpen());
    Run([&](HWND dialog) {
        ExpectNoFile(dialog, "second showing");
        Press(dialog, IDC_OPEN_SAVE);
        ExpectFileOpen(dialog, savePath_, "opened in the second showing");
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_FALSE(SaveFileIsOpen());
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(SaveBytes(kSaveSize), bytes);
}

TEST_F(SettingsDialogTest, ShortSaveIsRefusedAndLeftAsItWas) {
    PlaceSave(kName2Offset + 7);  // one byte short of the second field's end
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        ExpectNoFile(dialog, "after the refusal");
    });
    ASSERT_EQ(1u, recorder_.Messages().size());
    EXPECT_NE(std::string::npos, recorder_.Messages()[0].text.find("1796"));
    EXPECT_EQ(kMbOk | kMbIconError, recorder_.Messages()[0].style);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(SaveBytes(kName2Offset + 7), bytes);
}

TEST_F(SettingsDialogTest, WithoutTheDefaultSaveTheChooserFindsIt) {
    const std::string chosen = dir_.Join("ShinSangokumusou3.dat");
    ASSERT_TRUE(WriteBytes(chosen, SaveBytes(kSaveSize)));
    const DWORD ui = GetCurrentThreadId();
    // Types the path into the chooser that the press brings up and confirms it.
    auto choose = [&](HWND dialog) {
        PressLater(dialog, IDC_OPEN_SAVE);
        HWND chooser = WaitForDialog(ui, nullptr, dialog);
        ASSERT_NE(nullptr, chooser);
        Sleep(200);
        HWND edit = GetDlgItem(chooser, kFileNameEditId);
        if (!edit)
            edit = GetDlgItem(chooser, kFileNameComboId);
        SetWindowTextA(edit, chosen.c_str());
        PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    };
    Run([&](HWND dialog) {
        // Cancelled first: the message, and still no file.
        PressLater(dialog, IDC_OPEN_SAVE);
        HWND chooser = WaitForDialog(ui, nullptr, dialog);
        ASSERT_NE(nullptr, chooser);
        Sleep(200);
        PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(WaitUntil([&] { return recorder_.Messages().size() == 1; }));
        ExpectNoFile(dialog, "chooser cancelled");

        // A chosen file that cannot be opened for update: held by another program.
        HANDLE held = CreateFileA(chosen.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        choose(dialog);
        const bool reported = WaitUntil([&] { return recorder_.Messages().size() == 2; });
        CloseHandle(held);
        ASSERT_TRUE(reported);
        ExpectNoFile(dialog, "chosen file not openable");

        choose(dialog);
        ASSERT_TRUE(WaitUntil([&] { return TextOf(dialog, IDC_OPEN_SAVE) == "保存"; }));
        ExpectFileOpen(dialog, chosen, "chosen by hand");
        Press(dialog, IDC_CANCEL_SAVE);
    });
    ExpectErrorBoxes(recorder_.Messages(),
                     {"必须手工制定真三国无双3 Save文档(在[我的文档]下)", "打开真三国无双3 Save文档失败"}, "取消");
}

TEST_F(SettingsDialogTest, SaveRendersBothTexturesWithTheExactArgumentsThenWritesOnlyTheNameFields) {
    PlaceSave(kSaveSize);
    Installed();
    UserFontFace = "AR PL UMing CN";
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        SetName(dialog, IDC_NAME1, "曹操");
        SetName(dialog, IDC_NAME2, "关羽张飞");
        Press(dialog, IDC_OPEN_SAVE);
        ExpectNoFile(dialog, "after saving");
        EXPECT_EQ("曹操", TextOf(dialog, IDC_NAME1));  // kept, but disabled
        EXPECT_EQ("关羽张飞", TextOf(dialog, IDC_NAME2));
    });
    const std::string text = "曹操\xA1\xA1\xA1\xA1关羽张飞";
    const std::vector<std::vector<std::string>> expected = {
        {"832_896", "832", "896", "自创32", "AR PL UMing CN", "32", "5", "2", text, kHighTarget,
         "data\\common\\japanese\\high\\font01b.png"},
        {"520_560", "520", "560", "自创20", "AR PL UMing CN", "20", "5", "2", text, "bg\\low\\user_font01b.tga",
         "data\\common\\japanese\\low\\font01b.png"},
    };
    EXPECT_EQ(expected, Calls());
    ASSERT_EQ(1u, recorder_.Messages().size());
    EXPECT_EQ("保存自创武将名成功!", recorder_.Messages()[0].text);
    EXPECT_EQ("提示", recorder_.Messages()[0].caption);
    EXPECT_EQ(kMbOk | kMbIconInformation, recorder_.Messages()[0].style);

    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    std::string wanted = SaveBytes(kSaveSize);
    wanted.replace(kName1Offset, 8, std::string("\x87\x40\x87\x42\0\0\0\0", 8));
    wanted.replace(kName2Offset, 8, "\x87\x49\x87\x4B\x87\x51\x87\x53");
    EXPECT_EQ(wanted, bytes);  // the same length, and only the sixteen bytes differ
    std::string backup;
    ASSERT_TRUE(ReadFileBytes(savePath_ + kSaveBackupSuffix, &backup));
    EXPECT_EQ(SaveBytes(kSaveSize), backup);
    EXPECT_FALSE(SaveFileIsOpen());
}

TEST_F(SettingsDialogTest, BackupIsMadeOnceAndNeverReplaced) {
    PlaceSave(kSaveSize);
    Installed();
    for (const char* name : {"曹操", "刘备孙权"}) {
        Run([&](HWND dialog) {
            Press(dialog, IDC_OPEN_SAVE);
            SetName(dialog, IDC_NAME1, name);
            SetName(dialog, IDC_NAME2, "");
            Press(dialog, IDC_OPEN_SAVE);
        });
    }
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(std::string("\x87\x40\x87\x42\x87\x44\x87\x46", 8), bytes.substr(kName1Offset, 8));
    EXPECT_EQ(std::string(8, '\0'), bytes.substr(kName2Offset, 8));
    std::string backup;
    ASSERT_TRUE(ReadFileBytes(savePath_ + kSaveBackupSuffix, &backup));
    EXPECT_EQ(SaveBytes(kSaveSize), backup);  // the save as it was before the first change
}

TEST_F(SettingsDialogTest, SaveWhoseBackupCannotBeKeptIsNotChanged) {
    PlaceSave(kSaveSize);
    Installed();
    ASSERT_TRUE(CreateDirectoryW(Wide(savePath_ + kSaveBackupSuffix).c_str(), nullptr));  // no copy can go there
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        Press(dialog, IDC_OPEN_SAVE);
        ExpectNoFile(dialog, "after the refusal");
    });
    const std::vector<std::string> texts = Texts();
    ASSERT_EQ(1u, texts.size());
    EXPECT_NE(std::string::npos, texts[0].find(".bak"));
    EXPECT_EQ("错误", recorder_.Captions()[0]);
    EXPECT_FALSE(SaveFileIsOpen());
    EXPECT_TRUE(Calls().empty()) << "textures rendered for a save that was refused";
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(SaveBytes(kSaveSize), bytes);
}

// A texture that could not be rendered keeps the names out of the save: the first failure is told (the second
// texture is not tried after a failed first), no success box follows, and the save keeps its bytes and is closed.
TEST_F(SettingsDialogTest, FailedRenderWritesNoNamesAndShowsNoSuccessBox) {
    struct Case {
        const char* failing;  // fail.flag: empty fails both, a size tag only that texture
        const char* box;
        size_t calls;
    };
    const Case cases[] = {
        {"", "创建武将字体1失败!\n自创武将名没有写入Save文档。", 1},
        {"520_560", "创建武将字体2失败!\n自创武将名没有写入Save文档。", 2},
    };
    PlaceSave(kSaveSize);
    Installed();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        recorder_.Clear();
        DeleteFileW(Wide(dir_.Join("calls.bin")).c_str());
        ASSERT_TRUE(WriteBytes(dir_.Join("fail.flag"), c.failing));
        Run([&](HWND dialog) {
            Press(dialog, IDC_OPEN_SAVE);
            SetName(dialog, IDC_NAME1, "曹操");
            Press(dialog, IDC_OPEN_SAVE);
            ExpectNoFile(dialog, "after the failed render");
        });
        ExpectErrorBoxes(recorder_.Messages(), {c.box}, "错误");
        EXPECT_EQ(c.calls, Calls().size());
        EXPECT_FALSE(SaveFileIsOpen());
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
        EXPECT_EQ(SaveBytes(kSaveSize), bytes);
    }
}

// The folder of a file's path, without its separator.
std::string FolderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\'));
}

// Another program of the session put a link where the save or its copy is: a symbolic link of the machine Wine runs
// on, or a hard link, to a file outside. It is refused with one box naming it, nothing is rendered, the save and
// what the link leads to keep their bytes, and no copy is made anywhere.
TEST_F(SettingsDialogTest, SaveOrCopyThatIsALinkIsRefusedNamingItAndNothingBehindItChanges) {
    struct Case {
        const char* what;
        bool backup;  // the link is the copy's name, not the save's
        bool hard;
    };
    const Case cases[] = {
        {"save a link to a file outside", false, false},
        {"save a hard link to a file outside", false, true},
        {"copy a link to a file outside", true, false},
        {"copy a hard link to a file outside", true, true},
    };
    Installed();
    TempDir outside;
    const std::string outsideFile = outside.Join("victim.dat");
    const std::string outsideBytes = SaveBytes(kSaveSize + 1);  // a save too, or the open would refuse it anyway
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        recorder_.Clear();
        ASSERT_TRUE(RemoveOnHost(savePath_) && RemoveOnHost(savePath_ + kSaveBackupSuffix));
        ASSERT_TRUE(WriteFileBytes(outsideFile, outsideBytes));
        const std::string link = c.backup ? savePath_ + kSaveBackupSuffix : savePath_;
        if (c.backup)
            PlaceSave(kSaveSize);
        if (c.hard)
            ASSERT_TRUE(CreateHardLinkW(Wide(link).c_str(), Wide(outsideFile).c_str(), nullptr));
        else
            ASSERT_TRUE(MakeUnixLink(outsideFile, link));
        Run([&](HWND dialog) {
            Press(dialog, IDC_OPEN_SAVE);
            if (c.backup) {
                ExpectFileOpen(dialog, savePath_, "a sound save opens");
                SetName(dialog, IDC_NAME1, "曹操");
                Press(dialog, IDC_OPEN_SAVE);
            }
            ExpectNoFile(dialog, "after the refusal");
        });
        ExpectErrorBoxes(recorder_.Messages(), {"以下文件是链接, 未写入:\n" + link}, "错误");
        EXPECT_TRUE(Calls().empty()) << "textures rendered for a refused save";
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(outsideFile, &bytes));
        EXPECT_EQ(outsideBytes, bytes);
        if (c.backup) {
            ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
            EXPECT_EQ(SaveBytes(kSaveSize), bytes);
        }
        EXPECT_EQ(std::vector<std::string>{"victim.dat"}, NamesIn(outside.path()));
        std::vector<std::string> expected = {"ShinSangokumusou3.dat"};  // the link, or the save beside the link
        if (c.backup)
            expected.push_back("ShinSangokumusou3.dat.bak");
        EXPECT_EQ(expected, NamesIn(FolderOf(savePath_)));
    }
    ASSERT_TRUE(RemoveOnHost(savePath_) && RemoveOnHost(savePath_ + kSaveBackupSuffix));
}

// Puts the save's real folder back at the end of a case that links or moves it: links are removed as links, and the
// next case and test find an empty folder.
class RealSaveFolder {
  public:
    RealSaveFolder(const std::string& folder, const std::string& moved) : folder_(folder), moved_(moved) {}
    ~RealSaveFolder() {
        EXPECT_TRUE(RemoveOnHost(folder_) && RemoveOnHost(moved_));
        EXPECT_TRUE(CreateDirectoryW(Wide(folder_).c_str(), nullptr));
    }
    RealSaveFolder(const RealSaveFolder&) = delete;
    RealSaveFolder& operator=(const RealSaveFolder&) = delete;

  private:
    std::string folder_;
    std::string moved_;
};

// The save's folder ("Savedata") is a link to a folder elsewhere, as a player who keeps the saves on another drive
// makes it, or another program tries to make it one while the dialog has the save open. The folder that really holds
// the save is held from the open on: the names and the copy go there, and nothing is written anywhere else.
TEST_F(SettingsDialogTest, SaveFolderThatIsALinkIsHeldWhereItReallyIsAndNothingIsWrittenElsewhere) {
    enum class Attack {
        kLinkBeforeOpening,  // Savedata is a link when the save is opened: the folder behind it is the save's
        kMoveWhileOpen,      // a program of the session tries to move Savedata away to put a link in its place
        kSwapOnHost,         // a program outside Wine moves it and puts a link in its place, past Wine's sharing
    };
    struct Case {
        const char* what;
        Attack attack;
    };
    const Case cases[] = {
        {"Savedata a link to a folder outside", Attack::kLinkBeforeOpening},
        {"Savedata moved away while the save is open", Attack::kMoveWhileOpen},
        {"Savedata swapped for a link on the host while the save is open", Attack::kSwapOnHost},
    };
    Installed();
    const std::string saveFolder = FolderOf(savePath_);
    const std::string moved = saveFolder + ".moved";
    const std::string leaf = savePath_.substr(saveFolder.size() + 1);
    const std::string savedNames = std::string("\x87\x40\x87\x42\0\0\0\0", 8) + "\x87\x49\x87\x4B\x87\x51\x87\x53";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        recorder_.Clear();
        TempDir outside;
        const RealSaveFolder restore(saveFolder, moved);
        const std::string real = outside.Join("real");  // where the link leads, with a save of its own
        const std::string realSave = SaveBytes(kSaveSize + 2);
        ASSERT_TRUE(CreateDirectoryW(Wide(real).c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(real + "\\" + leaf, realSave));
        ASSERT_TRUE(RemoveOnHost(saveFolder));
        if (c.attack == Attack::kLinkBeforeOpening) {
            ASSERT_TRUE(MakeUnixLink(real, saveFolder));
        } else {
            ASSERT_TRUE(CreateDirectoryW(Wide(saveFolder).c_str(), nullptr));
            PlaceSave(kSaveSize);
        }
        bool movedAway = false;
        Run([&](HWND dialog) {
            Press(dialog, IDC_OPEN_SAVE);
            ExpectFileOpen(dialog, savePath_, "opened");
            if (c.attack == Attack::kMoveWhileOpen)
                movedAway = MoveFileW(Wide(saveFolder).c_str(), Wide(moved).c_str()) != FALSE;
            if (c.attack == Attack::kSwapOnHost) {
                ASSERT_TRUE(RunOnHost("/bin/mv \"" + UnixName(saveFolder) + "\" \"" + UnixName(moved) + "\"",
                                      [&] { return NamesIn(saveFolder).empty(); }));
                ASSERT_TRUE(MakeUnixLink(real, saveFolder));
            }
            SetName(dialog, IDC_NAME1, "曹操");
            Press(dialog, IDC_OPEN_SAVE);
        });
        EXPECT_FALSE(movedAway) << "the held folder was renamed";
        // Where the save really was when it was opened.
        const std::string held = c.attack == Attack::kLinkBeforeOpening ? real
                                 : c.attack == Attack::kSwapOnHost      ? moved
                                                                        : saveFolder;
        const std::string heldSave = c.attack == Attack::kLinkBeforeOpening ? realSave : SaveBytes(kSaveSize);
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(held + "\\" + leaf, &bytes));
        if (c.attack == Attack::kSwapOnHost) {
            // Past Wine's sharing, Wine's own rename of the copy into the held folder follows the folder's old name
            // and fails: refused with the copy's box, the save unchanged. Nothing behind the new link changes.
            const std::vector<RecordedMessage> messages = recorder_.Messages();
            ASSERT_EQ(1u, messages.size());
            EXPECT_EQ("错误", messages[0].caption);
            EXPECT_EQ(heldSave, bytes);
            ASSERT_TRUE(ReadFileBytes(real + "\\" + leaf, &bytes));
            EXPECT_EQ(realSave, bytes) << "written through the link put in after the open";
            EXPECT_EQ(std::vector<std::string>{leaf}, NamesIn(real));
            continue;
        }
        EXPECT_EQ(std::vector<std::string>{"保存自创武将名成功!"}, Texts());
        EXPECT_EQ(savedNames, bytes.substr(kName1Offset, 8) + bytes.substr(kName2Offset, 8));
        EXPECT_EQ(heldSave.size(), bytes.size());
        ASSERT_TRUE(ReadFileBytes(held + "\\" + leaf + kSaveBackupSuffix, &bytes));
        EXPECT_EQ(heldSave, bytes);
        EXPECT_EQ((std::vector<std::string>{leaf, leaf + kSaveBackupSuffix}), NamesIn(held));
    }
}

// A library that cannot be used (missing, not the package's, or the package's without the export) is told in one box
// owned by the dialog, and nothing else happens: nothing rendered, the save untouched and still open, so that the
// names never end up in the save without textures that match them.
TEST_F(SettingsDialogTest, UnusableLibraryIsReportedOnceAndNothingIsRenderedOrSaved) {
    PlaceSave(kSaveSize);
    auto saveOnce = [&](const char* where) {
        Run([&](HWND dialog) {
            Press(dialog, IDC_OPEN_SAVE);
            Press(dialog, IDC_OPEN_SAVE);
            ExpectFileOpen(dialog, savePath_, where);
            Press(dialog, IDC_CANCEL_SAVE);
        });
    };
    SetValue(kQuorvanInfoValue, dir_.Join("nothing-here"));
    saveOnce("library missing");

    // A library that is not the package's.
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof system);
    const std::string version = std::string(system) + "\\version.dll";
    ASSERT_TRUE(CopyFileA(version.c_str(), dir_.Join("SavePatch.qvx").c_str(), FALSE));
    SetValue(kQuorvanInfoValue, dir_.path());
    saveOnce("library replaced");

    // The package's own library, without the export.
    std::string versionBytes;
    ASSERT_TRUE(ReadBytes(version, &versionBytes));
    PackageLibrary(versionBytes);
    saveOnce("export missing");

    const std::vector<RecordedMessage> messages = recorder_.Messages();
    ASSERT_EQ(3u, messages.size());
    EXPECT_NE(std::string::npos, messages[0].text.find("SavePatch.qvx"));
    EXPECT_EQ(0u, messages[1].text.find(kLibraryChangedText)) << messages[1].text;
    EXPECT_NE(std::string::npos, messages[2].text.find("CreateUserFont"));
    for (const RecordedMessage& message : messages) {
        EXPECT_EQ("错误", message.caption);
        EXPECT_TRUE(message.hasOwner) << message.text;  // "保存" cannot be pressed again beneath it
    }
    EXPECT_TRUE(Calls().empty());
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(SaveBytes(kSaveSize), bytes);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(savePath_ + kSaveBackupSuffix));
}

// The fake library changed by one byte after the install: never run.
TEST_F(SettingsDialogTest, LibraryChangedSinceTheInstallIsNeverRun) {
    PlaceSave(kSaveSize);
    Installed();
    std::string library;
    ASSERT_TRUE(ReadBytes(dir_.Join("SavePatch.qvx"), &library));
    ASSERT_TRUE(WriteBytes(dir_.Join("SavePatch.qvx"), library + "x"));
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        Press(dialog, IDC_OPEN_SAVE);
        ExpectFileOpen(dialog, savePath_, "after the refusal");
        Press(dialog, IDC_CANCEL_SAVE);
    });
    EXPECT_TRUE(Calls().empty()) << "the changed library ran";
    const std::vector<RecordedMessage> messages = recorder_.Messages();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(0u, messages[0].text.find(kLibraryChangedText));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(SaveBytes(kSaveSize), bytes);
}

// "QuorvanInfo" is the user's to write: an empty or relative folder is no installation, and no library is looked
// for from the current drive's root ("\SavePatch.qvx") or folder.
TEST_F(SettingsDialogTest, EmptyOrRelativeInstallFolderCountsAsNotInstalled) {
    PlaceSave(kSaveSize);
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    const std::string root = dir_.path().substr(0, 3);  // the current drive's root, inside the prefix
    ASSERT_TRUE(CopyFileA(QV_FAKE_USERFONT_FILE, (root + "SavePatch.qvx").c_str(), FALSE));
    for (const char* folder : {"", ".", "quorvan-game"}) {
        SetValue(kQuorvanInfoValue, folder);
        Run([&](HWND dialog) {
            Press(dialog, IDC_OPEN_SAVE);
            Press(dialog, IDC_OPEN_SAVE);
            ExpectFileOpen(dialog, savePath_, folder);
            Press(dialog, IDC_CANCEL_SAVE);
        });
    }
    SetCurrentDirectoryA(previous);
    const bool rootCalled = GetFileAttributesA((root + "calls.bin").c_str()) != INVALID_FILE_ATTRIBUTES;
    DeleteFileA((root + "SavePatch.qvx").c_str());
    DeleteFileA((root + "calls.bin").c_str());
    EXPECT_FALSE(rootCalled) << "the library at the drive's root ran";
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ((std::vector<std::string>(3, "需要先安装真.三国无双3简体汉化包!")), Texts());
}

TEST_F(SettingsDialogTest, RefusedNamesAndAMissingInstallKeepTheFileOpen) {
    PlaceSave(kSaveSize);
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        SetName(dialog, IDC_NAME1, "Cao");
        Press(dialog, IDC_OPEN_SAVE);
        ExpectFileOpen(dialog, savePath_, "after the refused name");
        SetName(dialog, IDC_NAME1, "曹操");
        Press(dialog, IDC_OPEN_SAVE);  // not installed
        ExpectFileOpen(dialog, savePath_, "without the install");
        Press(dialog, IDC_CANCEL_SAVE);
    });
    EXPECT_EQ((std::vector<std::string>{"自创武将名1必须是全角汉字!", "需要先安装真.三国无双3简体汉化包!"}), Texts());
    EXPECT_TRUE(Calls().empty());
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(SaveBytes(kSaveSize), bytes);
}

TEST_F(SettingsDialogTest, SaveCutShortAfterOpeningIsReportedNotExtended) {
    PlaceSave(kSaveSize);
    Installed();
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        HANDLE file = CreateFileW(Wide(savePath_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        SetFilePointer(file, 1000, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
        Press(dialog, IDC_OPEN_SAVE);
        ExpectNoFile(dialog, "after the failed write");
    });
    const std::vector<std::string> texts = Texts();
    ASSERT_EQ(1u, texts.size());
    EXPECT_NE("保存自创武将名成功!", texts[0]);
    EXPECT_EQ("错误", recorder_.Captions()[0]);
    EXPECT_FALSE(SaveFileIsOpen());
    EXPECT_TRUE(Calls().empty()) << "textures rendered for a save that was refused";
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(SaveBytes(kSaveSize).substr(0, 1000), bytes);
}

// A file far larger than any save (a wrongly chosen film or disc image) is refused when it is opened; one that grows
// past the ceiling after opening is refused at "保存", before anything is rendered or copied.
TEST_F(SettingsDialogTest, FileLargerThanAnySaveIsRefusedAndNeverCopied) {
    auto resize = [&](LONGLONG size) {
        HANDLE file = CreateFileW(Wide(savePath_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        LARGE_INTEGER at;
        at.QuadPart = size;
        EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file));
        CloseHandle(file);
    };
    PlaceSave(kSaveSize);
    resize(kSaveMaxSize + 1);
    Installed();
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        ExpectNoFile(dialog, "too large to open");
    });
    resize(kSaveSize);
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        ExpectFileOpen(dialog, savePath_, "opened at its own size");
        resize(kSaveMaxSize + 1);
        Press(dialog, IDC_OPEN_SAVE);
        ExpectNoFile(dialog, "grown after opening");
    });
    const std::vector<RecordedMessage> messages = recorder_.Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_NE(std::string::npos, messages[0].text.find("64MB")) << messages[0].text;
    EXPECT_EQ("取消", messages[0].caption);
    EXPECT_NE(std::string::npos, messages[1].text.find("64MB")) << messages[1].text;
    EXPECT_EQ("错误", messages[1].caption);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(savePath_ + kSaveBackupSuffix));
    EXPECT_FALSE(SaveFileIsOpen());
}

// The untouched copy of a save of many pieces, and of one a byte short of a whole number of them, is exact.
TEST_F(SettingsDialogTest, BackupOfASaveOfManyPiecesIsExact) {
    for (const long size : {long(kSaveCopyPiece) * 5 + 7, long(kSaveCopyPiece) * 3 - 1}) {
        RemoveSave();
        PlaceSave(size);
        Installed();
        Run([&](HWND dialog) {
            Press(dialog, IDC_OPEN_SAVE);
            Press(dialog, IDC_OPEN_SAVE);
        });
        std::string backup;
        ASSERT_TRUE(ReadFileBytes(savePath_ + kSaveBackupSuffix, &backup));
        EXPECT_EQ(SaveBytes(size), backup) << size;
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
        EXPECT_EQ(size_t(size), bytes.size());
    }
}

TEST_F(SettingsDialogTest, EnterInANameEditPressesReturn) {
    PlaceSave(kSaveSize);
    const INT_PTR result = Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        HWND edit = GetDlgItem(dialog, IDC_NAME1);
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);  // the user clicked into it
        PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(edit, WM_KEYUP, VK_RETURN, 0);
        WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ("0", Flag());
    EXPECT_FALSE(SaveFileIsOpen());
}

TEST_F(SettingsDialogTest, ChosenFaceIsKeptAndCancelledChoiceChangesNothing) {
    PlaceSave(kSaveSize);
    const DWORD ui = GetCurrentThreadId();
    std::string offered;
    Run([&](HWND dialog) {
        Press(dialog, IDC_OPEN_SAVE);
        PressLater(dialog, IDC_CHOOSE_FONT);
        HWND chooser = WaitForDialog(ui, nullptr, dialog);
        ASSERT_NE(nullptr, chooser);
        Sleep(300);
        PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }));
        EXPECT_EQ("宋体", UserFontFace);

        PressLater(dialog, IDC_CHOOSE_FONT);
        chooser = WaitForDialog(ui, nullptr, dialog);
        ASSERT_NE(nullptr, chooser);
        Sleep(300);
        char face[LF_FACESIZE] = {};
        HWND faces = GetDlgItem(chooser, 0x470);  // cmb1, the face list
        const LRESULT index = SendMessageA(faces, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>("AR PL UMing CN"));
        if (index == CB_ERR) {  // the machine lacks the second face: close the chooser, or the dialog never ends
            ADD_FAILURE() << "the font chooser does not offer AR PL UMing CN (package fonts-arphic-uming)";
            PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
            WaitUntil([&] { return !IsWindow(chooser); });
            return;
        }
        SendMessageA(faces, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageA(chooser, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELCHANGE), reinterpret_cast<LPARAM>(faces));
        SendMessageA(faces, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(face));
        offered = face;
        PostMessageA(chooser, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }));
        Press(dialog, IDC_CANCEL_SAVE);
    });
    EXPECT_EQ("AR PL UMing CN", offered);
    EXPECT_EQ("AR PL UMing CN", UserFontFace);
}

// Names typed in UTF-16 that GBK cannot spell: one error box for the first of them, and nothing happens, whatever
// the other name holds: nothing rendered, the save untouched and still open, no copy made.
TEST_F(SettingsDialogTest, TypedNamesGbkCannotSpellAreRefusedWithOneBoxAndNothingIsRenderedOrSaved) {
    struct Case {
        const char* what;
        const wchar_t* name1;
        const wchar_t* name2;
        const char* box;
    };
    const char kName1Refused[] = "自创武将名1含有安装程序无法使用的字符(GBK编码不能表示)，只能使用全角汉字!";
    const char kName2Refused[] = "自创武将名2含有安装程序无法使用的字符(GBK编码不能表示)，只能使用全角汉字!";
    const Case cases[] = {
        {"Korean name 1", L"\uD55C\uAE00", L"\u66F9\u64CD", kName1Refused},
        {"emoji in name 2", L"\u66F9\u64CD", L"\U0001F600", kName2Refused},
        {"emoji after a Chinese character", L"\u66F9\U0001F600", L"", kName1Refused},
        {"half of a surrogate pair", L"\u66F9\xD83D", L"", kName1Refused},
        {"both refused: the first is told", L"\uD55C", L"\U0001F600", kName1Refused},
        {"Korean beside a name too long", L"\u66F9\u64CD\u5218\u5907\u5B59", L"\uAE00", kName2Refused},
    };
    PlaceSave(kSaveSize);
    Installed();
    for (const Case& c : cases) {
        recorder_.Clear();
        Run([&](HWND dialog) {
            Press(dialog, IDC_OPEN_SAVE);
            SetDlgItemTextW(dialog, IDC_NAME1, c.name1);
            SetDlgItemTextW(dialog, IDC_NAME2, c.name2);
            Press(dialog, IDC_OPEN_SAVE);
            ExpectFileOpen(dialog, savePath_, c.what);
            Press(dialog, IDC_CANCEL_SAVE);
        });
        ExpectErrorBoxes(recorder_.Messages(), {c.box}, "错误");
        ASSERT_EQ(1u, recorder_.Messages().size()) << c.what;
        EXPECT_TRUE(recorder_.Messages()[0].hasOwner) << c.what;
    }
    EXPECT_TRUE(Calls().empty()) << "textures rendered for refused names";
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(SaveBytes(kSaveSize), bytes);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(savePath_ + kSaveBackupSuffix));
}

// What the user types arrives in UTF-16; a name GBK can spell reaches the library and the save as its GBK bytes,
// whatever the system's code page (kana and full-width letters included, which code page 932 would spell otherwise).
TEST_F(SettingsDialogTest, TypedNamesReachTheLibraryAsTheirGbkBytes) {
    struct Case {
        const wchar_t* name1;
        const wchar_t* name2;
        const char* text;  // the text block the library gets
    };
    const Case cases[] = {
        {L"\u66F9\u64CD", L"\u5173\u7FBD\u5F20\u98DE", "曹操\xA1\xA1\xA1\xA1关羽张飞"},
        {L"\u3042\u3044", L"\uFF21\uFF22\u3005", "\xA4\xA2\xA4\xA4\xA1\xA1\xA1\xA1\xA3\xC1\xA3\xC2\xA1\xA9\xA1\xA1"},
        {L"", L"\u30BB\u30FC\u30D6", "\xA1\xA1\xA1\xA1\xA1\xA1\xA1\xA1\xA5\xBB\xA9\x60\xA5\xD6\xA1\xA1"},
    };
    PlaceSave(kSaveSize);
    Installed();
    for (const Case& c : cases) {
        Run([&](HWND dialog) {
            Press(dialog, IDC_OPEN_SAVE);
            SetDlgItemTextW(dialog, IDC_NAME1, c.name1);
            SetDlgItemTextW(dialog, IDC_NAME2, c.name2);
            Press(dialog, IDC_OPEN_SAVE);
        });
    }
    const std::vector<std::vector<std::string>> calls = Calls();
    ASSERT_EQ(2 * (sizeof cases / sizeof cases[0]), calls.size());
    for (size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(cases[i / 2].text, calls[i].at(8)) << "call " << i;
    EXPECT_EQ(std::vector<std::string>(3, "保存自创武将名成功!"), Texts());
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(savePath_, &bytes));
    EXPECT_EQ(std::string("\0\0\0\0\0\0\0\0\x87\x49\x87\x4B\x87\x51\0\0", 16),
              bytes.substr(kName1Offset, 8) + bytes.substr(kName2Offset, 8));  // the last names' positions
}

// One value of a key under HKEY_CURRENT_USER, put back as it was (or removed, if there was none) at the end.
class SavedValue {
  public:
    SavedValue(const wchar_t* key, const wchar_t* name) : name_(name) {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExW(key_, name, nullptr, &type_, nullptr, &size) != ERROR_SUCCESS)
            return;
        data_.resize(size);
        had_ = RegQueryValueExW(key_, name, nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
        data_.resize(size);
    }
    ~SavedValue() {
        if (!key_)
            return;
        if (had_)
            RegSetValueExW(key_, name_, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
        else
            RegDeleteValueW(key_, name_);
        RegCloseKey(key_);
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

    bool Set(DWORD type, const std::wstring& text) {
        return key_ && RegSetValueExW(key_, name_, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }

  private:
    const wchar_t* name_;
    HKEY key_ = nullptr;
    bool had_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

// Points the user's documents folder (the shell's "Personal" folder) elsewhere while it exists. The shell reads
// "User Shell Folders" and copies what it found into "Shell Folders": both are put back.
class DocumentsFolderOverride {
  public:
    explicit DocumentsFolderOverride(const std::wstring& folder) { set_ = userShellFolder_.Set(REG_EXPAND_SZ, folder); }
    bool set() const { return set_; }

  private:
    SavedValue userShellFolder_{L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                L"Personal"};
    SavedValue shellFolder_{L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", L"Personal"};
    bool set_ = false;
};

// The documents folder as the system gives it (UTF-16): one that GBK can spell holds the save that is opened and
// written, whatever the system's code page; one that it cannot is refused with one box, no chooser is offered and
// no file is opened.
TEST_F(SettingsDialogTest, DocumentsFolderGbkCanSpellIsUsedAndOneItCannotIsRefused) {
    struct Case {
        const char* what;
        const wchar_t* leaf;
        const char* gbkLeaf;  // null: none
    };
    const Case cases[] = {
        {"Chinese", L"\u6211\u7684\u6587\u6863", "我的文档"},
        {"Japanese", L"\u30C9\u30AD\u30E5\u30E1\u30F3\u30C8", "ドキュメント"},
        {"Korean", L"\uBB38\uC11C", nullptr},
    };
    Installed();
    const DWORD ui = GetCurrentThreadId();
    for (const Case& c : cases) {
        recorder_.Clear();
        const std::wstring documents = Wide(dir_.path()) + L"\\" + c.leaf;
        DocumentsFolderOverride override(documents);
        ASSERT_TRUE(override.set()) << c.what;
        if (c.gbkLeaf) {
            savePath_ = dir_.Join(c.gbkLeaf) + SaveFileTail();
            EXPECT_EQ(savePath_, DefaultSaveFilePath(nullptr)) << c.what;
            MakeParents(savePath_);
            PlaceSave(kSaveSize);
            Run([&](HWND dialog) {
                PressLater(dialog, IDC_OPEN_SAVE);  // a chooser, if the save were not found, must not hold the player
                ASSERT_TRUE(WaitUntil(
                    [&] { return !TextOf(dialog, IDC_SAVE_PATH).empty() || FindDialog(ui, nullptr, dialog); }));
                if (HWND chooser = FindDialog(ui, nullptr, dialog)) {
                    ADD_FAILURE() << c.what << ": the save in the documents folder was not found";
                    PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
                    WaitUntil([&] { return !IsWindow(chooser); });
                    return;
                }
                ExpectFileOpen(dialog, savePath_, c.what);
                SetName(dialog, IDC_NAME1, "曹操");
                Press(dialog, IDC_OPEN_SAVE);
            });
            EXPECT_EQ(std::vector<std::string>{"保存自创武将名成功!"}, Texts()) << c.what;
            std::string bytes;
            ASSERT_TRUE(ReadFileBytes(savePath_, &bytes)) << c.what;
            EXPECT_EQ(std::string("\x87\x40\x87\x42\0\0\0\0", 8), bytes.substr(kName1Offset, 8)) << c.what;
            std::string backup;
            ASSERT_TRUE(ReadFileBytes(savePath_ + kSaveBackupSuffix, &backup)) << c.what;
            EXPECT_EQ(SaveBytes(kSaveSize), backup) << c.what;
            RemoveSave();
            continue;
        }
        EXPECT_EQ("", DefaultSaveFilePath(nullptr)) << c.what;
        bool chooserShown = false;
        Run([&](HWND dialog) {
            PressLater(dialog, IDC_OPEN_SAVE);
            ASSERT_TRUE(WaitUntil([&] { return !recorder_.Messages().empty(); }));
            Sleep(300);
            if (HWND chooser = FindDialog(ui, nullptr, dialog)) {
                chooserShown = true;
                PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
                WaitUntil([&] { return !IsWindow(chooser); });
            }
            ExpectNoFile(dialog, c.what);
        });
        EXPECT_FALSE(chooserShown) << c.what;
        ExpectErrorBoxes(
            recorder_.Messages(),
            {"[我的文档]的路径含有安装程序无法使用的字符(GBK编码不能表示)，不能打开真三国无双3 Save文档。"}, "错误");
        EXPECT_FALSE(SaveFileIsOpen()) << c.what;
    }
    EXPECT_EQ(4u, Calls().size());  // both textures for each save written
}

}  // namespace
