#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/common/TestWindows_win.h"

// Windows and pixels for the skinned-control tests: a visible host window on the test thread, controls inside it,
// and the colours that a window's own device context reads back once its painting is done.

constexpr COLORREF kSkinColour = RGB(204, 205, 210);

// A visible top-level window of a plain class of our own (not a skinned kind), destroyed with the object.
class HostWindow {
  public:
    HostWindow(int x = 40, int y = 40, int width = 420, int height = 320);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND get() const { return window_; }

    // A child control at (x, y) of the host's client area, with the default GUI font.
    HWND Add(const char* className,
             const char* text,
             DWORD style,
             int x,
             int y,
             int width,
             int height,
             DWORD exStyle = 0,
             int id = 0) {
        HWND control =
            CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, window_,
                            reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleA(nullptr), nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        return control;
    }

  private:
    HWND window_;
};

// Paints the window and all its children now, then reads a pixel of its whole-window device context.
void PaintNow(HWND window);
COLORREF WindowPixel(HWND window, int x, int y);
// The same pixel as the screen shows it.
COLORREF ScreenPixelOf(HWND window, int x, int y);
SIZE WindowSize(HWND window);

// True when each channel differs by at most tolerance.
bool Near(COLORREF a, COLORREF b, int tolerance);
std::string ColourText(COLORREF colour);

// The box's first child of the class (case-insensitive), or null.
HWND FindChild(HWND parent, const char* className);

// The shape of a drawn text: the pixels that the drawing changed, cut to their bounding box. Two drawings of the
// same text in the same font have the same shape wherever they were placed and whatever lay beneath.
struct TextShape {
    int width = 0;
    int height = 0;
    std::vector<bool> ink;  // width * height, row by row
    int inkCount = 0;
};

// The shape that the control's own painting gives its text: the control is drawn with its text and again with none,
// and the pixels that differ are the text's. The text is put back afterwards.
TextShape ShapeOfControlText(HWND control);
// The shape that DrawTextW gives the text on one line in the font (null: a new device context's own), black on white.
TextShape ShapeOfText(const std::wstring& text, HFONT font);
// The pixels in which two shapes differ when laid over each other by their top-left corners.
int ShapeDifference(const TextShape& a, const TextShape& b);

// Counts the owner-drawn host's WM_DRAWITEM: the host fills every owner-drawn item with this colour.
constexpr COLORREF kOwnerDrawnColour = RGB(255, 0, 255);
