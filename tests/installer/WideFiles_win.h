#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/common/TestFiles_win.h"

// Install-key values and window texts reached through the W functions, as the installer reaches them (the files
// and folders: tests/common/TestFiles_win.h).

// The install key's values as REG_SZ in UTF-16, which is what the registry holds whoever wrote them.
bool SetInstallText(const char* name, const std::wstring& text);
bool ReadInstallText(const char* name, std::wstring* text);

// The window's text, in GBK.
std::string WindowText(HWND window);
