#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "tests/common/TestWindows_win.h"

// Pictures for the window tests, made the way the executable's resources are stored: 24 bits per pixel,
// bottom-up DIB sections. The caller owns the bitmap.
HBITMAP MakePicture(int width, int height, const std::function<COLORREF(int x, int y)>& colourAt);

// Unix paths (from QV_SOURCE_DIR) as Wine sees them.
std::string WinePath(const std::string& unixPath);
