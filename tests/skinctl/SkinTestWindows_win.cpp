#include "tests/skinctl/SkinTestWindows_win.h"

#include <cstdio>
#include <cstring>

namespace {

const char kHostClass[] = "SkinTestHost";

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWITEM) {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        HBRUSH brush = CreateSolidBrush(kOwnerDrawnColour);
        FillRect(item->hDC, &item->rcItem, brush);
        DeleteObject(brush);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterHostClass() {
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kHostClass;
    registered = RegisterClassExA(&windowClass) != 0;
}

}  // namespace

HostWindow::HostWindow(int x, int y, int width, int height) {
    RegisterHostClass();
    window_ = CreateWindowExA(WS_EX_TOPMOST, kHostClass, "skin test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                              width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(window_);
    PumpFor(50);
}

HostWindow::~HostWindow() {
    if (window_)
        DestroyWindow(window_);
    PumpFor(20);
}

void PaintNow(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(30);
}

COLORREF WindowPixel(HWND window, int x, int y) {
    HDC dc = GetWindowDC(window);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

COLORREF ScreenPixelOf(HWND window, int x, int y) {
    RECT outer = {};
    GetWindowRect(window, &outer);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, outer.left + x, outer.top + y);
    ReleaseDC(nullptr, screen);
    return colour;
}

SIZE WindowSize(HWND window) {
    RECT outer = {};
    GetWindowRect(window, &outer);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(int(GetRValue(a)) - int(GetRValue(b))) <= tolerance &&
           std::abs(int(GetGValue(a)) - int(GetGValue(b))) <= tolerance &&
           std::abs(int(GetBValue(a)) - int(GetBValue(b))) <= tolerance;
}

std::string ColourText(COLORREF colour) {
    char text[32];
    std::snprintf(text, sizeof text, "(%d, %d, %d)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

HWND FindChild(HWND parent, const char* className) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, int(sizeof name));
        if (lstrcmpiA(name, className) == 0)
            return child;
    }
    return nullptr;
}
