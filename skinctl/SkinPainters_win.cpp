#include <windows.h>

#include <string>

#include "support/GdiHandles_win.h"
#include "skinctl/SkinControls_win.h"
#include "support/SystemLibrary_win.h"

namespace {

constexpr int kWindowTextSize = 1024;
const wchar_t kMeasureSample[] = L"abc";
constexpr int kNoCaptionWidth = -4;  // closes the group box line where it began

// The size of the whole window, frame included.
SIZE WindowSize(HWND window) {
    RECT outer = {};
    GetWindowRect(window, &outer);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

// A picture of the whole control built off screen and copied to the window in one BitBlt, so that the control is
// never seen half drawn. Released in reverse order: the bitmap leaves the memory DC, then the bitmap, the memory
// DC and the window DC go.
class OffscreenCanvas {
  public:
    explicit OffscreenCanvas(HWND window)
        : windowDc_(window),
          size_(WindowSize(window)),
          memoryDc_(windowDc_.get() ? CreateCompatibleDC(windowDc_.get()) : nullptr),
          bitmap_(memoryDc_.get() ? CreateCompatibleBitmap(windowDc_.get(), size_.cx, size_.cy) : nullptr),
          selected_(memoryDc_.get(), bitmap_.get()) {
        if (ok())
            SetBkMode(memoryDc_.get(), TRANSPARENT);
    }
    bool ok() const { return selected_.ok() && size_.cx > 0 && size_.cy > 0; }
    HDC dc() const { return memoryDc_.get(); }
    HDC windowDc() const { return windowDc_.get(); }
    int width() const { return size_.cx; }
    int height() const { return size_.cy; }
    void Present() const { BitBlt(windowDc_.get(), 0, 0, size_.cx, size_.cy, memoryDc_.get(), 0, 0, SRCCOPY); }

  private:
    ScopedWindowDc windowDc_;
    SIZE size_;
    OwnedDc memoryDc_;
    OwnedGdiObject<HBITMAP> bitmap_;
    ScopedSelectObject selected_;
};

// Draws a control off screen with draw(canvas, dc, state, width, height) and shows the picture in one BitBlt.
template <typename Draw>
void PaintOffscreen(const SkinnedWindow& record, Draw draw) {
    OffscreenCanvas canvas(record.window);
    if (!canvas.ok())
        return;
    draw(canvas, canvas.dc(), record.state, canvas.width(), canvas.height());
    canvas.Present();
}

void FrameSolid(HDC dc, const RECT& rect, COLORREF colour) {
    OwnedGdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    FrameRect(dc, &rect, brush.get());
}

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
    OwnedGdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.get());
}

void Inset(RECT* rect, int by) {
    InflateRect(rect, -by, -by);
}

RECT ToRect(const SkinRect& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// Read and drawn in UTF-16: the control holds its text as the system gave it, whatever the system's code page.
std::wstring WindowText(HWND window) {
    wchar_t text[kWindowTextSize] = {};
    const int length = GetWindowTextW(window, text, kWindowTextSize);
    return std::wstring(text, length > 0 ? size_t(length) : 0);
}

HFONT ControlFont(HWND window) {
    return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
}

HBRUSH BackgroundBrush() {
    return gSkinBackground.brush ? gSkinBackground.brush : GetSysColorBrush(COLOR_BTNFACE);
}

// Steps 1 to 4 shared by the check box and the radio button: the background and the 13 by 13 box.
void PaintBox(HDC dc, int width, int height, uint32_t state) {
    const RECT whole = {0, 0, width, height};
    FillRect(dc, &whole, BackgroundBrush());
    RECT box = ToRect(CheckBoxBox(height));
    FrameSolid(dc, box, BoxFrameColour(state, GetSysColor(COLOR_BTNFACE)));
    Inset(&box, 1);
    if (const Corners4* table = BoxTable(state))
        FillGradient4(dc, box, *table);
    else
        FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

// The caption of a check box or radio button, measured in from x 18 and centred vertically, with the focus
// rectangle round it.
void PaintBoxText(HDC dc, HWND window, int height, uint32_t state, int measureRight) {
    const std::wstring text = WindowText(window);
    if (text.empty())
        return;
    SetTextColor(dc, GetSysColor((state & kSkinDisabled) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    ScopedSelectObject font(dc, ControlFont(window));
    const UINT flags = (state & kSkinMultiLine) ? (DT_WORDBREAK | DT_NOCLIP) : (DT_SINGLELINE | DT_NOCLIP);
    RECT measured = {18, 0, measureRight, height};
    DrawTextW(dc, text.c_str(), int(text.size()), &measured, flags | DT_CALCRECT);
    RECT place = ToRect(CheckTextRect(height, measured.right, measured.bottom - measured.top));
    DrawTextW(dc, text.c_str(), int(text.size()), &place, flags);
    if (state & kSkinFocused) {
        InflateRect(&place, 2, 2);
        DrawFocusRect(dc, &place);
    }
}

// msimg32 is not a KnownDLL: its GradientFill is looked up in the system folder at the first gradient.
using GradientFillProc = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

GradientFillProc GradientFillFunction() {
    static const GradientFillProc function = SystemExport<GradientFillProc>("msimg32.dll", "GradientFill");
    return function;
}

TRIVERTEX Vertex(LONG x, LONG y, uint32_t colour) {
    TRIVERTEX vertex = {};
    vertex.x = x;
    vertex.y = y;
    vertex.Red = COLOR16((colour & 0xFF) << 8);
    vertex.Green = COLOR16(((colour >> 8) & 0xFF) << 8);
    vertex.Blue = COLOR16(((colour >> 16) & 0xFF) << 8);
    vertex.Alpha = 0;
    return vertex;
}

}  // namespace

void FillGradient4(HDC dc, const RECT& rect, const Corners4& colours) {
    const GradientFillProc gradientFill = GradientFillFunction();
    if (!gradientFill) {  // never on a real Windows: the area takes its top left colour
        FillSolid(dc, rect, colours.topLeft);
        return;
    }
    TRIVERTEX vertices[4] = {
        Vertex(rect.left, rect.top, colours.topLeft),
        Vertex(rect.right, rect.top, colours.topRight),
        Vertex(rect.left, rect.bottom, colours.bottomLeft),
        Vertex(rect.right, rect.bottom, colours.bottomRight),
    };
    if (colours.topLeft == colours.topRight && colours.bottomLeft == colours.bottomRight) {
        GRADIENT_RECT whole = {0, 3};
        gradientFill(dc, vertices, 4, &whole, 1, GRADIENT_FILL_RECT_V);
        return;
    }
    GRADIENT_TRIANGLE halves[2] = {{0, 1, 2}, {3, 1, 2}};
    gradientFill(dc, vertices, 4, &halves[0], 1, GRADIENT_FILL_TRIANGLE);
    gradientFill(dc, vertices, 4, &halves[1], 1, GRADIENT_FILL_TRIANGLE);
}

void PaintPushButton(const SkinnedWindow& record) {
    PaintOffscreen(record, [&record](const OffscreenCanvas&, HDC dc, uint32_t state, int w, int h) {
        const COLORREF face = GetSysColor(COLOR_BTNFACE);

        RECT rect = {0, 0, w, h};
        FrameSolid(dc, rect, PushFrameColour(state, face));
        Inset(&rect, 1);
        if (const Corners4* table = PushFaceTable(state))
            FillGradient4(dc, rect, *table);
        else
            FillSolid(dc, rect, skincolour::kPushDisabledFace);
        Inset(&rect, 2);
        if (const Corners4* inner = PushInnerTable(state))
            FillGradient4(dc, rect, *inner);
        for (const SkinPixel& pixel : PushCornerPixels(w, h, state, face))
            SetPixel(dc, pixel.x, pixel.y, pixel.colour);
        if (state & kSkinFocused) {
            InflateRect(&rect, 1, 1);
            DrawFocusRect(dc, &rect);
        }

        OffsetRect(&rect, 0, -1);
        const std::wstring text = WindowText(record.window);
        if (!text.empty()) {
            if (state & kSkinPressed)
                OffsetRect(&rect, 1, 1);
            SetTextColor(dc, PushTextColour(state));
            ScopedSelectObject font(dc, ControlFont(record.window));
            const UINT lines = (state & kSkinMultiLine) ? 0 : DT_SINGLELINE;
            DrawTextW(dc, text.c_str(), int(text.size()), &rect, DT_CENTER | DT_VCENTER | lines);
        }
    });
}

void PaintCheckBox(const SkinnedWindow& record) {
    PaintOffscreen(record, [&record](const OffscreenCanvas&, HDC dc, uint32_t state, int w, int h) {
        PaintBox(dc, w, h, state);

        const RECT square = ToRect(CheckSquare(h));
        uint32_t fill = 0;
        if (CheckSquareFill(state, &fill))
            FillSolid(dc, square, fill);
        if (state & kSkinChecked) {
            OwnedGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, MarkColour(state)));
            ScopedSelectObject selected(dc, pen.get());
            for (const SkinStroke& stroke : CheckMarkStrokes(square.top)) {
                MoveToEx(dc, stroke.x, stroke.top, nullptr);
                LineTo(dc, stroke.x, stroke.bottom);
            }
        }
        PaintBoxText(dc, record.window, h, state, w);
    });
}

void PaintRadioButton(const SkinnedWindow& record) {
    PaintOffscreen(record, [&record](const OffscreenCanvas&, HDC dc, uint32_t state, int w, int h) {
        PaintBox(dc, w, h, state);
        if (state & kSkinChecked) {
            const RECT square = ToRect(CheckSquare(h));
            OwnedGdiObject<HBRUSH> brush(CreateSolidBrush(MarkColour(state)));
            ScopedSelectObject selected(dc, brush.get());
            Ellipse(dc, square.left, square.top, square.right, square.bottom);  // with the DC's own pen
        }
        PaintBoxText(dc, record.window, h, state, w - 18);
    });
}

void PaintGroupBox(const SkinnedWindow& record) {
    ScopedWindowDc windowDc(record.window);
    HDC dc = windowDc.get();
    if (!dc)
        return;
    const SIZE size = WindowSize(record.window);
    const int w = size.cx;
    const int h = size.cy;

    int textWidth = 0;
    int textHeight = 0;
    {
        ScopedSelectObject font(dc, ControlFont(record.window));
        const std::wstring text = WindowText(record.window);
        RECT measured = {0, 0, w, h};
        DrawTextW(dc, text.empty() ? kMeasureSample : text.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE);
        textWidth = text.empty() ? kNoCaptionWidth : int(measured.right - measured.left);
        textHeight = measured.bottom - measured.top;
    }
    OwnedGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, skincolour::kGroupLine));
    ScopedSelectObject selected(dc, pen.get());
    const auto path = GroupBoxPath(w, h, textWidth, textHeight);
    MoveToEx(dc, path[0].x, path[0].y, nullptr);
    for (size_t i = 1; i < path.size(); ++i)
        LineTo(dc, path[i].x, path[i].y);
}

void PaintEditFrame(const SkinnedWindow& record) {
    const uint32_t style = uint32_t(GetWindowLongPtrW(record.window, GWL_STYLE));
    const uint32_t exStyle = uint32_t(GetWindowLongPtrW(record.window, GWL_EXSTYLE));
    if (!EditHasFrame(style, exStyle))
        return;
    ScopedWindowDc windowDc(record.window);
    HDC dc = windowDc.get();
    if (!dc)
        return;
    const SIZE size = WindowSize(record.window);
    RECT rect = {0, 0, size.cx, size.cy};
    FrameSolid(dc, rect, FieldFrameColour(record.state, GetSysColor(COLOR_BTNFACE)));
    const HBRUSH inner =
        GetSysColorBrush((record.state & (kSkinDisabled | kSkinReadOnly)) ? COLOR_BTNFACE : COLOR_WINDOW);
    for (int i = 0; i < EditInnerFrames(exStyle); ++i) {
        Inset(&rect, 1);
        FrameRect(dc, &rect, inner);
    }
}

void PaintComboBox(const SkinnedWindow& record) {
    PaintOffscreen(record, [](const OffscreenCanvas& canvas, HDC dc, uint32_t state, int w, int h) {
        // The control's own drawing (its text) stays under the skin.
        BitBlt(dc, 0, 0, w, h, canvas.windowDc(), 0, 0, SRCCOPY);

        RECT rect = {0, 0, w, h};
        FrameSolid(dc, rect, FieldFrameColour(state, GetSysColor(COLOR_BTNFACE)));
        const HBRUSH system = GetSysColorBrush((state & kSkinDisabled) ? COLOR_BTNFACE : COLOR_WINDOW);
        Inset(&rect, 1);
        FrameRect(dc, &rect, system);
        Inset(&rect, 1);
        const SkinRect inner = {rect.left, rect.top, rect.right, rect.bottom};
        RECT button = ToRect(ComboButtonRect(inner, GetSystemMetrics(SM_CYVTHUMB)));
        FrameRect(dc, &button, system);
        button.left += 1;

        const int row = ComboRow(state);
        FillGradient4(dc, button, ComboOuterTable(row));
        const Corners4& corners = ComboButtonCorners(row);
        SetPixel(dc, button.left, button.top, corners.topLeft);
        SetPixel(dc, button.right - 1, button.top, corners.topRight);
        SetPixel(dc, button.left, button.bottom - 1, corners.bottomLeft);
        SetPixel(dc, button.right - 1, button.bottom - 1, corners.bottomRight);
        Inset(&button, 1);
        FillGradient4(dc, button, ComboInnerTable(row));

        OwnedGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, ArrowColour(state)));
        {
            ScopedSelectObject selected(dc, pen.get());
            for (const SkinPolyline& line : ComboArrowLines({button.left, button.top, button.right, button.bottom})) {
                MoveToEx(dc, line[0].x, line[0].y, nullptr);
                LineTo(dc, line[1].x, line[1].y);
                LineTo(dc, line[2].x, line[2].y);
            }
        }
    });
}
