#pragma once

#include <windows.h>

#include "mainwindow/SkinLayout.h"

// What the skin controls do. The main window hands every pressed control's record here, and WM_CLOSE as the first
// "close" record.
void DispatchCommand(const LayoutRecord& record, HWND mainWindow);

// Brings every control into its state: flags cleared, "text" records made disabled labels, the status control
// (the "text" record whose first argument is "percent") found and its text emptied.
void RefreshControls();

// The status control, or null when the layout has none.
LayoutRecord* StatusControl();

// Called by the main window for every message it does not handle itself.
void FinishInstall(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
