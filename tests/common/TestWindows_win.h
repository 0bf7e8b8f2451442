#pragma once

#include <windows.h>

#include <functional>
#include <string>

// What the window tests do with the windows of the test program: run its messages, find its dialogs, read texts.

// Runs the messages of this thread until done() or until timeoutMs have passed; returns done()'s last answer.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000);
// Runs the messages of this thread for about ms (and at least once).
void PumpFor(DWORD ms);

// A visible dialog ("#32770": message boxes, the file chooser, our own dialogs) of the thread, other than skip
// and, when caption is given, with that caption; null when there is none.
HWND FindDialog(DWORD thread, const char* caption = nullptr, HWND skip = nullptr);

// The window's text (at most 1023 bytes).
std::string TextOf(HWND window);
