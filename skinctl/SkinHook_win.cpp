#include "skinctl/SkinHook_win.h"

#include "skinctl/SkinControls_win.h"

namespace {

// Bound to the thread that installed it; removed on one path, RemoveSkinHook.
HHOOK gSkinHook = nullptr;

}  // namespace

void InstallSkinHook(COLORREF colour) {
    if (colour == 0)
        colour = GetSysColor(COLOR_BTNFACE);
    // Nothing keeps the old brush beyond the message that was answered with it, so it can go at once.
    HBRUSH replaced = gSkinBackground.brush;
    gSkinBackground.colour = colour;
    gSkinBackground.brush = CreateSolidBrush(colour);
    if (replaced)
        DeleteObject(replaced);
    if (gSkinHook)
        return;
    const DWORD thread = GetCurrentThreadId();
    EnumThreadWindows(thread, SkinEnumProc, 0);
    gSkinHook = SetWindowsHookExW(WH_CALLWNDPROC, SkinHookProc, nullptr, thread);
}

void RemoveSkinHook() {
    if (!gSkinHook)
        return;
    UnhookWindowsHookEx(gSkinHook);
    gSkinHook = nullptr;
    // Windows skinned so far stay skinned: the brush goes with the last of them.
    ReleaseSkinBackgroundIfUnused(false);
}

bool SkinHookInstalled() {
    return gSkinHook != nullptr;
}

LRESULT CALLBACK SkinHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (sent->message == WM_CREATE)
            SkinWindow(sent->hwnd);
    }
    return CallNextHookEx(gSkinHook, code, wParam, lParam);
}

// EnumChildWindows already walks every descendant, and each one walks its own again: a deep window is offered
// several times, and SkinWindow takes it only once.
BOOL CALLBACK SkinEnumProc(HWND window, LPARAM lParam) {
    SkinWindow(window);
    EnumChildWindows(window, SkinEnumProc, lParam);
    return TRUE;
}
