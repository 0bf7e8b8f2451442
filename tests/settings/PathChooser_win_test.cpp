#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "settings/PathChooser_win.h"
#include "support/SystemText_win.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestWindows_win.h"

namespace {

constexpr int kFolderEditId = 1000;
constexpr int kFileNameEditId = 0x480;   // edt1 of the open-file dialog
constexpr int kFileNameComboId = 0x47C;  // cmb13, where the dialog has a combo box instead

using DialogAct = std::function<void(HWND dialog)>;

// Plays the user's part from a second thread: waits for the chooser's dialog on the test thread, acts on it, and
// does the same for each further act with the next showing of a dialog (after the one before has gone). It stops
// waiting when it is destroyed: the chooser has returned by then, and no further showing comes.
class DialogPlayer {
  public:
    DialogPlayer(DialogAct act) : DialogPlayer(std::vector<DialogAct>{std::move(act)}) {}
    DialogPlayer(std::vector<DialogAct> acts) : acts_(std::move(acts)), owner_(GetCurrentThreadId()) {
        thread_ = CreateThread(nullptr, 0, &DialogPlayer::Run, this, 0, nullptr);
    }
    ~DialogPlayer() {
        stop_ = true;
        WaitForSingleObject(thread_, 30000);
        CloseHandle(thread_);
    }
    bool sawDialog() const { return shown_ > 0; }
    int shown() const { return shown_; }

  private:
    static DWORD WINAPI Run(void* self) {
        DialogPlayer* player = static_cast<DialogPlayer*>(self);
        HWND previous = nullptr;
        for (const DialogAct& act : player->acts_) {
            HWND found = nullptr;
            for (int i = 0; i < 2000 && !found && !player->stop_; ++i) {
                if (!previous || !IsWindow(previous))
                    found = FindDialog(player->owner_);
                if (!found)
                    Sleep(10);
            }
            if (!found)
                return 1;
            Sleep(200);  // let the dialog finish its initialisation
            ++player->shown_;
            act(found);
            previous = found;
        }
        return 0;
    }

    std::vector<DialogAct> acts_;
    DWORD owner_;
    HANDLE thread_;
    volatile int shown_ = 0;
    std::atomic<bool> stop_{false};
};

void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

TEST(ChooseFolder, EditedTextIsTheResultNotTheSelectedFolder) {
    std::string shown;
    std::string path = "C:\\windows";
    bool chosen;
    {
        DialogPlayer player([&](HWND dialog) {
            HWND edit = GetDlgItem(dialog, kFolderEditId);
            shown = TextOf(edit);
            SetWindowTextA(edit, "D:\\typed\\folder");
            Press(dialog, IDOK);
        });
        chosen = ChooseFolder(nullptr, path, "\\quorvan");
        EXPECT_TRUE(player.sawDialog());
    }
    EXPECT_TRUE(chosen);
    EXPECT_STREQ("c:\\windows\\quorvan", CharLowerA(&shown[0]));  // the selection, followed by the suffix
    EXPECT_EQ("D:\\typed\\folder", path);
}

TEST(ChooseFolder, OkKeepsTheSelectionShownInTheEdit) {
    std::string path = "C:\\windows";
    bool chosen;
    {
        DialogPlayer player([](HWND dialog) { Press(dialog, IDOK); });
        chosen = ChoosePath(nullptr, path, nullptr);
    }
    EXPECT_TRUE(chosen);
    EXPECT_EQ(0, lstrcmpiA("C:\\windows", path.c_str())) << path;
}

TEST(ChooseFolder, CancelEmptiesThePath) {
    std::string path = "C:\\windows";
    bool chosen;
    {
        DialogPlayer player([](HWND dialog) { Press(dialog, IDCANCEL); });
        chosen = ChoosePath(nullptr, path, nullptr);
    }
    EXPECT_FALSE(chosen);
    EXPECT_EQ("", path);
}

const char kGameFilter[] = "Shin Sangokumusou 3.exe\0Shin Sangokumusou 3.exe\0";

TEST(ChoosePath, FileModeGivesTheChosenFilesFullPath) {
    TempDir dir;
    const std::string game = dir.Join("Shin Sangokumusou 3.exe");
    ASSERT_TRUE(WriteBytes(game, "MZ"));
    std::string path = dir.path();
    bool chosen;
    {
        DialogPlayer player([&](HWND dialog) {
            HWND name = GetDlgItem(dialog, kFileNameEditId);
            if (!name)
                name = GetDlgItem(dialog, kFileNameComboId);
            SetWindowTextA(name, game.c_str());
            Press(dialog, IDOK);
        });
        chosen = ChoosePath(nullptr, path, kGameFilter);
    }
    EXPECT_TRUE(chosen);
    EXPECT_EQ(0, lstrcmpiA(game.c_str(), path.c_str())) << path;
}

TEST(ChoosePath, FileModeCancelEmptiesThePath) {
    std::string path = "C:\\windows";
    bool chosen;
    {
        DialogPlayer player([](HWND dialog) { Press(dialog, IDCANCEL); });
        chosen = ChoosePath(nullptr, path, kGameFilter);
    }
    EXPECT_FALSE(chosen);
    EXPECT_EQ("", path);
}

// Paths as the system gives them (UTF-16): one that GBK can spell is the result, as GBK bytes, whatever the
// system's code page; one that it cannot is refused with one box and the chooser comes back, where the user cancels.
struct SystemPathCase {
    const char* what;
    const wchar_t* leaf;  // a file or folder in the test's folder
    const char* gbkLeaf;  // its GBK spelling; null when there is none
};
const SystemPathCase kSystemPathCases[] = {
    {"Chinese", L"\u771F\u4E09\u56FD\u65E0\u53CC", "真三国无双"},
    {"Japanese kana, which GBK holds", L"\u30BB\u30FC\u30D6", "セーブ"},
    {"Korean", L"\uC800\uC7A5", nullptr},
    {"emoji", L"save\U0001F600", nullptr},
};

const char kFileRefusedText[] = "所选文件的路径含有安装程序无法使用的字符(GBK编码不能表示)，请选择其他文件。";
const char kFolderRefusedText[] = "所选文件夹的名称含有安装程序无法使用的字符(GBK编码不能表示)，请选择其他文件夹。";

// The outcome of one choice: what ChoosePath answered, and how many times the dialog was shown.
struct Choice {
    bool chosen;
    std::string path;
    int showings;
};

// Types text into the dialog's field (the name box of the open-file dialog, the browser's edit) and presses OK; a
// second showing, if any, is cancelled.
Choice Choose(const char* filter, int fieldId, const std::wstring& text, const std::string& start) {
    Choice choice = {false, start, 0};
    DialogPlayer player({[&](HWND dialog) {
                             HWND field = GetDlgItem(dialog, fieldId);
                             if (!field && fieldId == kFileNameEditId)
                                 field = GetDlgItem(dialog, kFileNameComboId);
                             SetWindowTextW(field, text.c_str());
                             Press(dialog, IDOK);
                         },
                         [](HWND dialog) { Press(dialog, IDCANCEL); }});
    choice.chosen = ChoosePath(nullptr, choice.path, filter);
    choice.showings = player.shown();
    return choice;
}

// Both choosers, each path of the table: the file dialog chooses an existing file in the test's folder by its full
// path; the browser takes a typed folder, whether or not it exists.
TEST(ChoosePath, PathsGbkCannotSpellAreRefusedAndTheChooserShownAgain) {
    for (const bool file : {true, false}) {
        for (const SystemPathCase& c : kSystemPathCases) {
            MessageRecorder recorder;
            TempDir dir;
            const std::wstring typed = Wide(dir.path()) + L"\\" + c.leaf;
            if (file) {
                HANDLE made = CreateFileW(typed.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
                ASSERT_NE(INVALID_HANDLE_VALUE, made) << c.what;
                CloseHandle(made);
            }
            const Choice choice = file ? Choose("any\0*.*\0", kFileNameEditId, typed, dir.path())
                                       : Choose(nullptr, kFolderEditId, typed, "C:\\windows");
            const std::string where = std::string(file ? "file, " : "folder, ") + c.what;
            EXPECT_EQ(c.gbkLeaf != nullptr, choice.chosen) << where;
            EXPECT_EQ(c.gbkLeaf ? dir.Join(c.gbkLeaf) : "", choice.path) << where;  // the very GBK bytes
            EXPECT_EQ(c.gbkLeaf ? 1 : 2, choice.showings) << where;
            if (c.gbkLeaf)
                EXPECT_TRUE(recorder.Messages().empty()) << where;
            else
                ExpectErrorBoxes(recorder.Messages(), {file ? kFileRefusedText : kFolderRefusedText}, "错误");
        }
    }
}

}  // namespace
