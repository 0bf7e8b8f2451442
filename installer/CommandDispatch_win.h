#pragma once

#include <windows.h>

#include "installer/InstallFlow_win.h"
#include "installer/UninstallFlow_win.h"
#include "mainwindow/MainWindow_win.h"
#include "mainwindow/SkinLayout_win.h"

// What the skin controls do. The main window hands every pressed control's record here, and WM_CLOSE as the first
// "close" record. The command word is compared whole and case-sensitively with "msgbox", "minimize", "close",
// "iejump", "uninstall", "setting" and "install", in this order; any other word does nothing. While a job runs
// (gInstallerState.phase: an install or an uninstall from its press to its last box, the settings dialog while it is
// open), "install", "uninstall" and "setting" do nothing (a press under a box without owner); the other commands
// keep working, and "close" asks from the start of the install's worker to the install's last box.
void DispatchCommand(const LayoutRecord& record, HWND mainWindow);

// Brings every control into its state, reading the registry afresh for each: the install control shows while the
// pack is not installed, the uninstall control while it is, neither while the install is under way. Flags are cleared,
// "text" records become disabled labels and the status control's text is emptied (MakeTextLabels). The "setting"
// command opens Dependencies().openSettings.
void RefreshControls();

// The installer's part of the main window: commands, the install's hand-back, the controls' first state and the
// stop of an install when the program quits. The program's entry point gives it to SetMainWindowHandlers.
MainWindowHandlers InstallerWindowHandlers();
