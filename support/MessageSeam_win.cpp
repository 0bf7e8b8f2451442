#include <windows.h>

#include "support/MessageSeam.h"
#include "support/SystemText_win.h"

static_assert(kMbOk == MB_OK && kMbOkCancel == MB_OKCANCEL && kMbYesNo == MB_YESNO, "button styles");
static_assert(kMbIconError == MB_ICONERROR && kMbIconQuestion == MB_ICONQUESTION && kMbIconWarning == MB_ICONWARNING &&
                  kMbIconInformation == MB_ICONINFORMATION,
              "icon styles");
static_assert(kMbDefButton2 == MB_DEFBUTTON2, "default button");
static_assert(kIdOk == IDOK && kIdCancel == IDCANCEL && kIdYes == IDYES && kIdNo == IDNO, "answers");

int DefaultMessageHandler(void* owner, const char* text, const char* caption, unsigned style) {
    return MessageBoxW(static_cast<HWND>(owner), WideForDisplay(text).c_str(), WideForDisplay(caption).c_str(), style);
}
