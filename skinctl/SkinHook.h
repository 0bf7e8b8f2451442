#pragma once

#include <windows.h>

// The skinned look for the message boxes and dialogs of the user-interface thread. InstallSkinHook runs once before
// the first window exists; colour is the dialog background (0 takes the system's button face colour).
// RemoveSkinHook runs after the main window is gone.
void InstallSkinHook(COLORREF colour);
void RemoveSkinHook();
