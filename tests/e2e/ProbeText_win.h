#pragma once

#include <windows.h>

#include <string>

// What the probes print: a window's UTF-16 text as UTF-8, so the walks read Chinese text whatever the code page.
inline std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(size_t(size) - 1);
    return out;
}
