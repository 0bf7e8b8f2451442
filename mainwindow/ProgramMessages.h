#pragma once

#include <windows.h>

// The program's own window messages, each with one handler in the main window procedure.

// Sent synchronously by the install worker to the main window at each of its hand-backs (the package checked, its
// part of the installation done); wParam and lParam are 0, and the worker's own state says which it is. The main
// window hands it to the install-done handler set at start-up.
constexpr UINT kInstallDoneMessage = WM_USER + 1001;  // 2025

// Posted by the install worker to the main window as the unpack of the pack folder advances: wParam is the share
// done, 0 to 100, each one higher than the last; lParam is 0. One may still arrive after the install has ended.
// The main window hands it to the install-progress handler set at start-up.
constexpr UINT kInstallProgressMessage = WM_USER + 1002;  // 2026
