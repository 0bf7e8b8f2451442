#include <windows.h>

#include "settings/SettingsDialog.h"

namespace {

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    const int id = LOWORD(wParam);
    if (id != IDOK && id != IDCANCEL)
        return FALSE;
    EndDialog(dialog, id);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;  // focus to the first control
        case WM_COMMAND:
            return OnCommand(dialog, wParam);
    }
    return FALSE;
}
