#pragma once

#include <windows.h>

#include <string>

// The settings dialog (resource IDD_SETTINGS), run modally by the "setting" command: the two custom officer
// names in the game's save file, the face of the font they are rendered in, and the stored GeForce2MX flag.
//
// "返回" (IDOK, also Enter in a name edit) stores the flag and ends the dialog with 1; the close box ends it with
// 0 and leaves the flag alone; Escape does nothing. A save file still open when the dialog ends is closed
// without writing, so every showing starts with none open.
//
// The dialog and its controls are UTF-16 windows. A typed name, or a chosen font's face, that GBK cannot spell is
// refused with one error box (caption "错误"); nothing is rendered or written for it.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the dialog from the program's resources, owned by owner, until it ends.
void ShowSettingsDialog(HWND owner);

// The face the names are rendered in: "宋体" from start-up, then the last face the user chose in any showing.
extern std::string UserFontFace;
