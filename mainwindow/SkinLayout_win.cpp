#include <windows.h>

#include <cstring>
#include <string>
#include <utility>

#include "support/GdiHandles_win.h"
#include "mainwindow/MainWindow_win.h"
#include "mainwindow/SkinLayout_win.h"
#include "package/Extract.h"
#include "package/PackNames.h"
#include "support/SystemLibrary_win.h"
#include "support/SystemText_win.h"

SkinLayout gSkinLayout;

namespace {

constexpr COLORREF kLabelTextColour = 0xFF0000;  // pure blue
const char kTextCommand[] = "text";
const char kStatusArgument[] = "percent";

bool IsStatusRecord(const LayoutRecord& record) {
    return record.command == kTextCommand && record.firstArgument == kStatusArgument;
}

void CreateSkinControls(HWND mainWindow) {
    const std::wstring buttonClass = Wide(kInstallButtonClass);
    for (size_t i = 0; i < gSkinLayout.size(); ++i) {
        LayoutRecord& record = gSkinLayout[i];
        const INT_PTR id = kFirstControlId + INT_PTR(i);
        record.window =
            CreateWindowExW(0, buttonClass.c_str(), nullptr, WS_CHILD | WS_VISIBLE, record.left, record.top,
                            record.right - record.left, record.bottom - record.top, mainWindow,
                            reinterpret_cast<HMENU>(id), gSkinImages.instance, reinterpret_cast<void*>(INT_PTR(i)));
    }
}

void OnButtonCreate(HWND control, LPARAM lParam) {
    const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

// Draws the label's text from the control's top-left corner, left-aligned, one line per line feed, over the
// picture. The buffer may be rewritten by the install worker (or the helper library) at any time, so a copy with a
// sure terminator is drawn. The buffer is GBK; it is converted here, at the drawing, and a text that is not GBK
// (cut by the 512-byte limit in the middle of a character) still shows, with U+FFFD for the broken bytes.
void DrawLabelText(HWND control, HDC dc, const LayoutRecord& record) {
    char text[kLayoutTextSize];
    std::memcpy(text, record.text, sizeof text);
    text[sizeof text - 1] = '\0';
    const std::wstring shown = WideForDisplay(text);

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kLabelTextColour);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    ScopedSelectObject selectFont(dc, font);
    RECT start = {0, 0, 1, 1};
    DrawTextW(dc, shown.c_str(), int(shown.size()), &start, DT_NOCLIP);
}

void OnButtonPaint(HWND control) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(control, &paint);
    const LayoutRecord* record = RecordOfControl(control);
    if (dc && record) {
        RECT outer = {};
        RECT parent = {};
        GetWindowRect(control, &outer);
        GetWindowRect(GetParent(control), &parent);
        HDC source = (record->flags & kLayoutHover) ? gSkinImages.highlightDc : gSkinImages.normalDc;
        BitBlt(dc, 0, 0, outer.right - outer.left, outer.bottom - outer.top, source, outer.left - parent.left,
               outer.top - parent.top, SRCCOPY);
        if (record->flags & kLayoutLabel)
            DrawLabelText(control, dc, *record);
    }
    EndPaint(control, &paint);
}

void OnButtonMouseMove(HWND control) {
    LayoutRecord* record = RecordOfControl(control);
    if (!record || (record->flags & (kLayoutLabel | kLayoutHover)))
        return;
    record->flags |= kLayoutHover;
    TrackMouseLeave(control);
    InvalidateRect(control, nullptr, FALSE);
}

void OnButtonMouseLeave(HWND control) {
    LayoutRecord* record = RecordOfControl(control);
    if (!record || !(record->flags & kLayoutHover))
        return;
    record->flags &= ~kLayoutHover;
    InvalidateRect(control, nullptr, FALSE);
}

// The command fires on the press; a double click is two presses.
void OnButtonPress(HWND control) {
    const WPARAM id = WPARAM(LOWORD(GetDlgCtrlID(control)));
    PostMessageW(GetParent(control), WM_COMMAND, id, reinterpret_cast<LPARAM>(control));
}

}  // namespace

bool LoadSkinLayout(HWND mainWindow) {
    {
        MemorySink sink;
        if (!ExtractByName(kLayoutEntry, sink))
            return false;
        for (LayoutEntry& entry : ParseLayout(sink.data, sink.size)) {
            LayoutRecord record;
            static_cast<LayoutEntry&>(record) = std::move(entry);
            gSkinLayout.push_back(std::move(record));
        }
    }
    CreateSkinControls(mainWindow);
    return true;
}

void ShowCommandControls(const char* command, bool shown) {
    for (const LayoutRecord& record : gSkinLayout) {
        if (record.window && record.command == command)
            ShowWindow(record.window, shown ? SW_SHOWNORMAL : SW_HIDE);
    }
}

void MakeTextLabels() {
    for (LayoutRecord& record : gSkinLayout) {
        record.flags = 0;
        if (record.command != kTextCommand)
            continue;
        record.flags |= kLayoutLabel;
        if (record.window) {
            const LONG_PTR style = GetWindowLongPtrW(record.window, GWL_STYLE);
            SetWindowLongPtrW(record.window, GWL_STYLE, style | WS_DISABLED);
        }
        if (IsStatusRecord(record))
            record.text[0] = '\0';
    }
}

LayoutRecord* StatusControl() {
    // Of several, the last one in the file.
    LayoutRecord* status = nullptr;
    for (LayoutRecord& record : gSkinLayout) {
        if (IsStatusRecord(record))
            status = &record;
    }
    return status;
}

StatusTarget StatusTargetOfLayout() {
    StatusTarget target;
    if (LayoutRecord* status = StatusControl()) {
        target.window = status->window;
        target.text = status->text;
    }
    return target;
}

LayoutRecord* RecordOfControl(HWND control) {
    const LONG_PTR index = GetWindowLongPtrW(control, GWLP_USERDATA);
    if (index < 0 || size_t(index) >= gSkinLayout.size() || gSkinLayout[size_t(index)].window != control)
        return nullptr;
    return &gSkinLayout[size_t(index)];
}

LRESULT CALLBACK SkinButtonProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnButtonCreate(control, lParam);
            break;
        case WM_PAINT:
            OnButtonPaint(control);
            break;
        case WM_MOUSEMOVE:
            OnButtonMouseMove(control);
            break;
        case WM_MOUSELEAVE:
            OnButtonMouseLeave(control);
            break;
        case WM_LBUTTONDOWN:
            OnButtonPress(control);
            break;
    }
    return DefWindowProcW(control, message, wParam, lParam);
}
