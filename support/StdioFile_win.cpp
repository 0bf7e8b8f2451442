#include <windows.h>

#include "support/StdioFile.h"
#include "support/SystemText_win.h"

#include <cstdio>
#include <string>

std::FILE* OpenGbkFile(const char* path, const char* mode) {
    std::wstring widePath;
    std::wstring wideMode;
    if (!WideFromGbk(path, &widePath) || widePath.empty() || !WideFromGbk(mode, &wideMode))
        return nullptr;
    return _wfopen(widePath.c_str(), wideMode.c_str());
}
