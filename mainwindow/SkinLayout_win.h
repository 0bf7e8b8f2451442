#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "package/LayoutFile.h"

// The skin controls of the main window: one record of the layout file and one child window of InstallButtonClass
// each. A record's position in gSkinLayout is its index; its control's identifier is kFirstControlId + index.

constexpr uint32_t kLayoutLabel = 2;  // the control draws its text buffer and never highlights
constexpr uint32_t kLayoutHover = 4;  // the mouse is over the control: it shows the highlight image

struct LayoutRecord : LayoutEntry {
    uint32_t flags = 0;
    HWND window = nullptr;
    // NUL-terminated GBK text that a label draws. The install worker writes the status control's text from its
    // own thread and then repaints the control.
    char text[kLayoutTextSize] = {};
};

using SkinLayout = std::vector<LayoutRecord>;

// File order; filled by LoadSkinLayout, emptied when the main window is destroyed.
extern SkinLayout gSkinLayout;

// Reads the layout file from the package and creates one skin control per record on mainWindow. False when the file
// is not in the package (the package has shown its message already); the table is then empty.
bool LoadSkinLayout(HWND mainWindow);

// The record of a skin control, or null for a window that is not one.
LayoutRecord* RecordOfControl(HWND control);

// What the flows behind the window may do with its controls; on the user-interface thread.

// Shows (SW_SHOWNORMAL) or hides every control whose record has this command.
void ShowCommandControls(const char* command, bool shown);

// Every control's flags are cleared, the "text" records become disabled labels, and the status control's text is
// emptied.
void MakeTextLabels();

// The status control: the "text" record whose first argument is "percent" (the last of several); null when the
// layout has none.
LayoutRecord* StatusControl();

// Where a job shows its progress: the status control's window and its text buffer (kLayoutTextSize bytes), which
// a label draws. Both null when the layout has no status control. Valid until the main window is destroyed.
struct StatusTarget {
    HWND window = nullptr;
    char* text = nullptr;
};
StatusTarget StatusTargetOfLayout();

LRESULT CALLBACK SkinButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
