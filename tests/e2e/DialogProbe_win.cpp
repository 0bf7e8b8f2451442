// dialog_probe: looks at the installer's settings dialog from outside, for the end-to-end settings walk. Its
// controls have no X windows of their own, so the walk asks Windows where they are and what they show.
//
//   dialog_probe settings   every control of the visible settings dialog, one a line, as UTF-8:
//                           "<id><TAB><1 enabled|0 disabled><TAB><screen x><TAB><screen y><TAB><text>", x and y
//                           the control's centre
//
//   dialog_probe name ID TEXT   puts TEXT (UTF-8) into the control ID (a name edit) of the visible settings dialog
//                           the way a paste would: one WM_SETTEXT, no keyboard; for the walks where the typing
//                           itself is not what they check (on the emulated 32-bit guest a typed character takes
//                           seconds)
//
//   dialog_probe filename TITLE TEXT   puts TEXT (UTF-8) into the file-name field of the visible open-file dialog
//                           whose title is TITLE, the way a paste would: one WM_SETTEXT, no keyboard (a character
//                           that xdotool types through a spare key may be lost on a busy machine)
//
// Exit status: 0; 1 when no such dialog or control is shown or the control refused the text; 2 on a usage error.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ProbeText_win.h"

namespace {

const wchar_t kDialogClass[] = L"#32770";
constexpr int kOpenSaveId = 1004;  // "打开" / "保存"
constexpr int kChooseFontId = 1012;
constexpr int kTextLimit = 1024;

BOOL CALLBACK FindSettings(HWND window, LPARAM found) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wcscmp(className, kDialogClass) != 0 || !IsWindowVisible(window))
        return TRUE;
    if (!GetDlgItem(window, kOpenSaveId) || !GetDlgItem(window, kChooseFontId))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    // GetWindowText does not ask a control of another process; an edit's text is only had by asking it.
    wchar_t text[kTextLimit] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, kTextLimit, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    char head[96];
    std::snprintf(head, sizeof head, "%d\t%d\t%ld\t%ld\t", GetDlgCtrlID(control), IsWindowEnabled(control) ? 1 : 0,
                  (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    const std::string line = head + Utf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    return TRUE;
}

HWND VisibleSettingsDialog() {
    HWND dialog = nullptr;
    EnumWindows(FindSettings, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog)
        std::fputs("dialog_probe: no settings dialog\n", stderr);
    return dialog;
}

// WM_SETTEXT to a control of another process, answered within 5 s; false when the control refused the text.
bool SetControlText(HWND control, const wchar_t* text) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                               &answer) != 0 &&
           answer == TRUE;
}

int PutName(int id, const wchar_t* text) {
    HWND dialog = VisibleSettingsDialog();
    if (!dialog)
        return 1;
    HWND edit = GetDlgItem(dialog, id);
    if (!edit) {
        std::fprintf(stderr, "dialog_probe: the settings dialog has no control %d\n", id);
        return 1;
    }
    if (!SetControlText(edit, text)) {
        std::fprintf(stderr, "dialog_probe: control %d did not take the text\n", id);
        return 1;
    }
    return 0;
}

// The file-name field of the open-file dialog: the combo box cmb13 of the Explorer-style dialog, or the edit edt1.
constexpr int kFileNameComboId = 0x47C;
constexpr int kFileNameEditId = 0x480;

struct TitledDialog {
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK FindTitled(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<TitledDialog*>(lParam);
    wchar_t className[64] = {};
    wchar_t title[256] = {};
    GetClassNameW(window, className, 64);
    GetWindowTextW(window, title, 256);
    if (std::wcscmp(className, kDialogClass) != 0 || !IsWindowVisible(window) || std::wcscmp(title, search->title))
        return TRUE;
    search->found = window;
    return FALSE;
}

int PutFileName(const wchar_t* title, const wchar_t* text) {
    TitledDialog search = {title, nullptr};
    EnumWindows(FindTitled, reinterpret_cast<LPARAM>(&search));
    if (!search.found) {
        std::fputs("dialog_probe: no such open-file dialog\n", stderr);
        return 1;
    }
    HWND field = GetDlgItem(search.found, kFileNameComboId);
    if (!field)
        field = GetDlgItem(search.found, kFileNameEditId);
    if (!field) {
        std::fputs("dialog_probe: the dialog has no file-name field\n", stderr);
        return 1;
    }
    SetControlText(field, text);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    const bool filename = argc == 4 && std::strcmp(argv[1], "filename") == 0;
    const bool name = argc == 4 && std::strcmp(argv[1], "name") == 0;
    if (filename || name) {
        // The texts from the UTF-16 command line: the probe's own code page cannot spell every name.
        int count = 0;
        LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
        int status = 2;
        if (wide && count == 4)
            status = filename ? PutFileName(wide[2], wide[3]) : PutName(std::atoi(argv[2]), wide[3]);
        LocalFree(wide);
        return status;
    }
    if (argc != 2 || std::strcmp(argv[1], "settings") != 0) {
        std::fputs("usage: dialog_probe settings | dialog_probe name ID TEXT | dialog_probe filename TITLE TEXT\n",
                   stderr);
        return 2;
    }
    HWND dialog = VisibleSettingsDialog();
    if (!dialog)
        return 1;
    EnumChildWindows(dialog, PrintControl, 0);
    return 0;
}
