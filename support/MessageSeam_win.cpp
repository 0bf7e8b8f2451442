#include <windows.h>

#include "support/MessageSeam.h"

static_assert(kMbOk == MB_OK && kMbOkCancel == MB_OKCANCEL && kMbYesNo == MB_YESNO, "button styles");
static_assert(kMbIconError == MB_ICONERROR && kMbIconQuestion == MB_ICONQUESTION && kMbIconWarning == MB_ICONWARNING &&
                  kMbIconInformation == MB_ICONINFORMATION,
              "icon styles");
static_assert(kIdOk == IDOK && kIdCancel == IDCANCEL && kIdYes == IDYES && kIdNo == IDNO, "answers");

int DefaultMessageHandler(void* owner, const char* text, const char* caption, unsigned style) {
    return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}
