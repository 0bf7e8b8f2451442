#pragma once

#include <windows.h>

// The procedure of the settings dialog (resource IDD_SETTINGS), run modally by the "setting" command. For now it
// only closes: "返回" (IDOK) and the close box (IDCANCEL) end the dialog with their own identifier.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
