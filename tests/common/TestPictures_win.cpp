#include <windows.h>

#include <string>
#include <vector>

#include "tests/common/TestPictures_win.h"

HBITMAP MakePicture(int width, int height, const std::function<COLORREF(int x, int y)>& colourAt) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return nullptr;
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    unsigned char* rows = static_cast<unsigned char*>(bits);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = rows + size_t(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const COLORREF colour = colourAt(x, y);
            row[x * 3] = GetBValue(colour);
            row[x * 3 + 1] = GetGValue(colour);
            row[x * 3 + 2] = GetRValue(colour);
        }
    }
    return bitmap;
}

std::string WinePath(const std::string& unixPath) {
    return !unixPath.empty() && unixPath[0] == '/' ? "Z:" + unixPath : unixPath;
}
