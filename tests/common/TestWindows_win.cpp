#include "tests/common/TestWindows_win.h"

#include "support/SystemText_win.h"

namespace {

struct DialogSearch {
    const char* caption;  // null: any caption
    HWND skip;
    HWND found;
};

BOOL CALLBACK FindDialogProc(HWND window, LPARAM lParam) {
    DialogSearch* search = reinterpret_cast<DialogSearch*>(lParam);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (window == search->skip || std::string(className) != "#32770" || !IsWindowVisible(window))
        return TRUE;
    if (search->caption && TextOf(window) != search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

HWND FindDialog(DWORD thread, const char* caption, HWND skip) {
    DialogSearch search = {caption, skip, nullptr};
    EnumThreadWindows(thread, FindDialogProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    std::string gbk;
    GbkFromWide(text, &gbk);
    return gbk;
}
