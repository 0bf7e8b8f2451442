#pragma once

#include <windows.h>

#include <functional>

// Pictures for the window tests, made the way the executable's resources are stored: 24 bits per pixel,
// bottom-up DIB sections. The caller owns the bitmap.
HBITMAP MakePicture(int width, int height, const std::function<COLORREF(int x, int y)>& colourAt);

// Runs the messages of this thread until done() or until timeoutMs have passed; returns done()'s last answer.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);

// Unix paths (from QV_SOURCE_DIR) as Wine sees them.
std::string WinePath(const std::string& unixPath);
