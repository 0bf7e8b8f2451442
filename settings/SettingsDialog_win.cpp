#include "settings/SettingsDialog_win.h"

#include <commdlg.h>

#include <cwchar>

#include "installer/InstallMark_win.h"
#include "installer/ResourceLibrary_win.h"
#include "package/PackNames.h"
#include "resources/resource.h"
#include "settings/SaveFile_win.h"
#include "settings/SaveNames.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"
#include "support/SystemText_win.h"

std::string UserFontFace = "宋体";

namespace {

const char kOpenText[] = "打开";
const char kSaveText[] = "保存";
const char kPresetName[] = "测试名称";
const char kNotInstalledText[] = "需要先安装真.三国无双3简体汉化包!";
const char kHighFailedText[] = "创建武将字体1失败!";
const char kLowFailedText[] = "创建武将字体2失败!";
const char kSavedText[] = "保存自创武将名成功!";
const char kNamesNotWrittenText[] = "\n自创武将名没有写入Save文档。";
const char kName1NotGbkText[] = "自创武将名1含有安装程序无法使用的字符(GBK编码不能表示)，只能使用全角汉字!";
const char kName2NotGbkText[] = "自创武将名2含有安装程序无法使用的字符(GBK编码不能表示)，只能使用全角汉字!";
const char kFaceNotGbkText[] = "所选字体的名称含有安装程序无法使用的字符(GBK编码不能表示)，字体没有改变。";
const char kFlagOn[] = "1";
const char kFlagOff[] = "0";

// Where the two textures start from and where they go, relative to the library's pack folder. The library places
// the eight characters in the cells from column 5, row 2 of the glyph grid (its own contract).
struct FontCall {
    const char* sizeName;
    int width;
    int height;
    const char* label;
    int glyphSize;
    const char* target;
    const char* source;
    const char* failedText;
};
constexpr int kFirstCellColumn = 5;
constexpr int kFirstCellRow = 2;
const FontCall kFontCalls[] = {
    {"832_896", 832, 896, "自创32", 32, "bg\\high\\user_font01b.tga", "data\\common\\japanese\\high\\font01b.png",
     kHighFailedText},
    {"520_560", 520, 560, "自创20", 20, "bg\\low\\user_font01b.tga", "data\\common\\japanese\\low\\font01b.png",
     kLowFailedText},
};

void ShowError(HWND dialog, const char* text) {
    ShowMessage(dialog, text, kErrorCaption, kMbOk | kMbIconError);
}

void EnableFileControls(HWND dialog, bool enable) {
    for (int id : {IDC_NAME1, IDC_NAME2, IDC_CHOOSE_FONT, IDC_CANCEL_SAVE})
        EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}

// The dialog is a UTF-16 dialog: our GBK texts (literals, the save's path, which had to be GBK to be opened) are
// converted on the way in, and what the user typed on the way out.
void SetText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, Wide(text).c_str());
}

// No save file open: the name edits keep their texts but are disabled.
void ShowNoFileAppearance(HWND dialog) {
    EnableFileControls(dialog, false);
    SetText(dialog, IDC_OPEN_SAVE, kOpenText);
    SetText(dialog, IDC_SAVE_PATH, "");
}

void ShowFileOpenAppearance(HWND dialog) {
    SetText(dialog, IDC_NAME1, kPresetName);
    SetText(dialog, IDC_NAME2, kPresetName);
    EnableFileControls(dialog, true);
    SetText(dialog, IDC_OPEN_SAVE, kSaveText);
    SetText(dialog, IDC_SAVE_PATH, SaveFilePath());
}

// The whole text of a name edit as GBK; false when GBK cannot spell it (a Korean letter, an emoji, half of a
// surrogate pair).
bool TypedName(HWND dialog, int id, std::string* name) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(GetDlgItem(dialog, id))) + 1, L'\0');
    const UINT length = GetDlgItemTextW(dialog, id, &text[0], static_cast<int>(text.size()));
    text.resize(length);
    return GbkFromWide(text, name);
}

// Both names as GBK, or one error box for the first that has no GBK spelling. The name rules themselves are
// CheckCustomNames'.
bool TypedNames(HWND dialog, std::string* name1, std::string* name2) {
    if (!TypedName(dialog, IDC_NAME1, name1)) {
        ShowError(dialog, kName1NotGbkText);
        return false;
    }
    if (!TypedName(dialog, IDC_NAME2, name2)) {
        ShowError(dialog, kName2NotGbkText);
        return false;
    }
    return true;
}

void OnOpen(HWND dialog) {
    if (OpenSaveFile(dialog))
        ShowFileOpenAppearance(dialog);
}

// Renders both textures through the pack's library, which has passed its checks. The first render that fails is
// told, with the names left out of the save, and ends the saving: false.
bool RenderNames(HWND dialog, const UserFontLibrary& library, const CustomNameText& text) {
    for (const FontCall& call : kFontCalls) {
        const UserFontArguments arguments = {call.sizeName,        call.width,     call.height,      call.label,
                                             UserFontFace.c_str(), call.glyphSize, kFirstCellColumn, kFirstCellRow,
                                             text.bytes,           call.target,    call.source};
        if (!library.Create(arguments)) {
            ShowError(dialog, (std::string(call.failedText) + kNamesNotWrittenText).c_str());
            return false;
        }
    }
    return true;
}

// Everything that can refuse the save is asked before anything is rendered for it, so that textures and save
// always match: the names, the installation, the pack's own library (a file that is not the package's is never
// run, and then nothing at all changes: the file stays open for the user to cancel), and the save's own refusals
// (cut short or grown since it was opened, no untouched copy possible). Only then the textures, then the names: a
// texture that could not be rendered keeps the names out of the save, so that the game never shows the codes of
// names it has no glyphs for. The save is closed either way.
void OnSave(HWND dialog) {
    std::string name1;
    std::string name2;
    CustomNameText text;
    if (!TypedNames(dialog, &name1, &name2) || !BuildCustomNameText(dialog, name1, name2, &text))
        return;
    std::string installFolder;
    if (!ReadInstalledFolder(installFolder)) {
        ShowError(dialog, kNotInstalledText);
        return;
    }
    const std::string libraryPath = installFolder + kLibraryTarget;
    const UserFontLibrary library(libraryPath.c_str(), dialog);  // its boxes are the dialog's, as every other
    if (!library.loaded())
        return;
    if (!PrepareSaveNames(dialog)) {
        ShowNoFileAppearance(dialog);
        return;
    }
    const bool rendered = RenderNames(dialog, library, text);
    ShowNoFileAppearance(dialog);
    if (!rendered) {
        CloseSaveFile();
        return;
    }
    if (WriteSaveNames(dialog, ToSaveNameBytes(text)))
        ShowMessage(dialog, kSavedText, kNoteCaption, kMbOk | kMbIconInformation);
}

void OnCancelSave(HWND dialog) {
    if (!SaveFileIsOpen())
        return;
    ShowNoFileAppearance(dialog);
    CloseSaveFile();
}

// Only the face is kept; size, style, effects and character set of the choice are not used. A face whose name GBK
// cannot spell could not be handed to the helper library: refused, the face stays.
void OnChooseFont(HWND dialog) {
    LOGFONTW font = {};
    CHOOSEFONTW choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = dialog;
    choice.lpLogFont = &font;
    choice.Flags = CF_SCREENFONTS | CF_EFFECTS;
    if (!ChooseFontW(&choice))
        return;
    std::string face;
    if (!GbkFromWide(font.lfFaceName, wcsnlen(font.lfFaceName, LF_FACESIZE), &face)) {
        ShowError(dialog, kFaceNotGbkText);
        return;
    }
    UserFontFace = face;
}

// The check box is hidden and disabled, so "返回" rewrites the stored value: "1" stays "1", anything else becomes
// "0".
void OnReturn(HWND dialog) {
    const bool on = IsDlgButtonChecked(dialog, IDC_GEFORCE2MX) == BST_CHECKED;
    WriteGeforce2mxFlag(on ? kFlagOn : kFlagOff);
    CloseSaveFile();
    EndDialog(dialog, 1);
}

void OnClose(HWND dialog) {
    CloseSaveFile();
    EndDialog(dialog, 0);
}

INT_PTR OnInitDialog(HWND dialog) {
    CloseSaveFile();  // nothing is open between showings; this only guards against a caller that left one
    std::string flag;
    if (ReadGeforce2mxFlag(flag) && flag == kFlagOn)
        CheckDlgButton(dialog, IDC_GEFORCE2MX, BST_CHECKED);
    ShowNoFileAppearance(dialog);
    return TRUE;  // focus to the first control
}

// Escape arrives as IDCANCEL and is not handled: it does not close the dialog.
INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDC_OPEN_SAVE:
            if (SaveFileIsOpen())
                OnSave(dialog);
            else
                OnOpen(dialog);
            return TRUE;
        case IDC_CANCEL_SAVE:
            OnCancelSave(dialog);
            return TRUE;
        case IDC_CHOOSE_FONT:
            OnChooseFont(dialog);
            return TRUE;
        case IDOK:
            OnReturn(dialog);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog);
        case WM_COMMAND:
            return OnCommand(dialog, wParam);
        case WM_CLOSE:
            OnClose(dialog);
            return TRUE;
    }
    return FALSE;
}

void ShowSettingsDialog(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), owner, SettingsDialogProc, 0);
}
