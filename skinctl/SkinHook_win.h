#pragma once

#include <windows.h>

// The skinned look for the message boxes and dialogs of the user-interface thread. InstallSkinHook runs once before
// the first window exists; colour is the dialog background (0 takes the system's button face colour). Windows that
// already exist on the thread are skinned at once, every later one as it is created.
// RemoveSkinHook runs after the main window is gone; windows created afterwards keep the system's look.
void InstallSkinHook(COLORREF colour);
void RemoveSkinHook();
bool SkinHookInstalled();

// The hook procedure (WH_CALLWNDPROC on the installing thread) and the enumeration callback that offers a window
// and all its descendants to the skinning.
LRESULT CALLBACK SkinHookProc(int code, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK SkinEnumProc(HWND window, LPARAM lParam);
