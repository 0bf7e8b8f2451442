#include "tests/skinctl/SkinTestWindows_win.h"

#include <algorithm>
#include <cstdint>
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

// A 32-bit top-down picture in a memory DC of its own.
class Canvas {
  public:
    Canvas(int width, int height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<const uint32_t*>(bits);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    std::vector<uint32_t> Pixels() const {
        GdiFlush();
        return bits_ ? std::vector<uint32_t>(bits_, bits_ + size_t(width_) * size_t(height_)) : std::vector<uint32_t>();
    }

  private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    const uint32_t* bits_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

std::vector<uint32_t> WindowPixels(HWND window) {
    const SIZE size = WindowSize(window);
    Canvas canvas(size.cx, size.cy);
    HDC dc = GetWindowDC(window);
    BitBlt(canvas.dc(), 0, 0, size.cx, size.cy, dc, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
    return canvas.Pixels();
}

TextShape ShapeOfChange(const std::vector<uint32_t>& before, const std::vector<uint32_t>& after, int width) {
    TextShape shape;
    if (before.size() != after.size() || width <= 0)
        return shape;
    const int height = int(before.size()) / width;
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = size_t(y) * size_t(width) + size_t(x);
            if ((before[at] & 0xFFFFFF) == (after[at] & 0xFFFFFF))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0)
        return shape;
    shape.width = right - left + 1;
    shape.height = bottom - top + 1;
    shape.ink.resize(size_t(shape.width) * size_t(shape.height));
    for (int y = 0; y < shape.height; ++y) {
        for (int x = 0; x < shape.width; ++x) {
            const size_t at = size_t(y + top) * size_t(width) + size_t(x + left);
            const bool ink = (before[at] & 0xFFFFFF) != (after[at] & 0xFFFFFF);
            shape.ink[size_t(y) * size_t(shape.width) + size_t(x)] = ink;
            shape.inkCount += ink;
        }
    }
    return shape;
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

TextShape ShapeOfControlText(HWND control) {
    wchar_t text[256] = {};
    GetWindowTextW(control, text, 256);
    PaintNow(control);
    const std::vector<uint32_t> drawn = WindowPixels(control);
    SetWindowTextW(control, L"");
    PaintNow(control);
    const std::vector<uint32_t> blank = WindowPixels(control);
    SetWindowTextW(control, text);
    PaintNow(control);
    return ShapeOfChange(blank, drawn, WindowSize(control).cx);
}

TextShape ShapeOfText(const std::wstring& text, HFONT font) {
    constexpr int kMargin = 4;
    RECT measured = {0, 0, 0, 0};
    int width = 0;
    int height = 0;
    {
        Canvas probe(1, 1);
        HGDIOBJ old = font ? SelectObject(probe.dc(), font) : nullptr;
        DrawTextW(probe.dc(), text.c_str(), int(text.size()), &measured, DT_CALCRECT | DT_SINGLELINE);
        if (old)
            SelectObject(probe.dc(), old);
        width = measured.right - measured.left + 2 * kMargin;
        height = measured.bottom - measured.top + 2 * kMargin;
    }
    Canvas canvas(width, height);
    const RECT whole = {0, 0, width, height};
    FillRect(canvas.dc(), &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const std::vector<uint32_t> blank = canvas.Pixels();
    HGDIOBJ old = font ? SelectObject(canvas.dc(), font) : nullptr;
    SetBkMode(canvas.dc(), TRANSPARENT);
    SetTextColor(canvas.dc(), RGB(0, 0, 0));
    RECT place = {kMargin, kMargin, width - kMargin, height - kMargin};
    DrawTextW(canvas.dc(), text.c_str(), int(text.size()), &place, DT_SINGLELINE | DT_NOCLIP);
    if (old)
        SelectObject(canvas.dc(), old);
    return ShapeOfChange(blank, canvas.Pixels(), width);
}

int ShapeDifference(const TextShape& a, const TextShape& b) {
    const int width = std::max(a.width, b.width);
    const int height = std::max(a.height, b.height);
    auto inkAt = [](const TextShape& shape, int x, int y) {
        return x < shape.width && y < shape.height && shape.ink[size_t(y) * size_t(shape.width) + size_t(x)];
    };
    int differ = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            differ += inkAt(a, x, y) != inkAt(b, x, y);
    }
    return differ;
}
