#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "settings/PathChooser.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestWindows_win.h"

namespace {

constexpr int kFolderEditId = 1000;
constexpr int kFileNameEditId = 0x480;   // edt1 of the open-file dialog
constexpr int kFileNameComboId = 0x47C;  // cmb13, where the dialog has a combo box instead

// Plays the user's part from a second thread: waits for the chooser's dialog on the test thread, then acts on it.
class DialogPlayer {
  public:
    DialogPlayer(std::function<void(HWND dialog)> act) : act_(std::move(act)), owner_(GetCurrentThreadId()) {
        thread_ = CreateThread(nullptr, 0, &DialogPlayer::Run, this, 0, nullptr);
    }
    ~DialogPlayer() {
        WaitForSingleObject(thread_, 30000);
        CloseHandle(thread_);
    }
    bool sawDialog() const { return sawDialog_; }

  private:
    static DWORD WINAPI Run(void* self) {
        DialogPlayer* player = static_cast<DialogPlayer*>(self);
        for (int i = 0; i < 2000; ++i) {
            if (HWND found = FindDialog(player->owner_)) {
                Sleep(200);  // let the dialog finish its initialisation
                player->sawDialog_ = true;
                player->act_(found);
                return 0;
            }
            Sleep(10);
        }
        return 1;
    }

    std::function<void(HWND)> act_;
    DWORD owner_;
    HANDLE thread_;
    volatile bool sawDialog_ = false;
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

}  // namespace
