#include <windows.h>

#include "support/SystemText_win.h"

#include <climits>
#include <cstring>
#include <cwchar>

namespace {

constexpr UINT kGbkCodePage = 936;

// Empties out and gives size as the int the conversion calls take: false when it does not fit one.
template <typename Out>
bool StartConversion(size_t size, Out* out, int* length) {
    out->clear();
    if (size > static_cast<size_t>(INT_MAX))
        return false;
    *length = static_cast<int>(size);
    return true;
}

// text[0, size) converted with flags (0 or MB_ERR_INVALID_CHARS); false (and out empty) when the system refuses.
bool ConvertFromGbk(const char* text, size_t size, DWORD flags, std::wstring* out) {
    int length = 0;
    if (!StartConversion(size, out, &length))
        return false;
    if (length == 0)
        return true;
    const int needed = MultiByteToWideChar(kGbkCodePage, flags, text, length, nullptr, 0);
    if (needed <= 0)
        return false;
    out->resize(static_cast<size_t>(needed));
    if (MultiByteToWideChar(kGbkCodePage, flags, text, length, &(*out)[0], needed) != needed) {
        out->clear();
        return false;
    }
    return true;
}

}  // namespace

bool WideFromGbk(const char* text, size_t size, std::wstring* out) {
    return ConvertFromGbk(text, size, MB_ERR_INVALID_CHARS, out);
}

bool WideFromGbk(const char* text, std::wstring* out) {
    return WideFromGbk(text, text ? std::strlen(text) : 0, out);
}

bool GbkFromWide(const wchar_t* text, size_t size, std::string* out) {
    int length = 0;
    if (!StartConversion(size, out, &length))
        return false;
    if (length == 0)
        return true;
    BOOL usedDefault = FALSE;
    const int needed =
        WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text, length, nullptr, 0, nullptr, &usedDefault);
    if (needed <= 0 || usedDefault)
        return false;
    out->resize(static_cast<size_t>(needed));
    usedDefault = FALSE;
    if (WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text, length, &(*out)[0], needed, nullptr,
                            &usedDefault) != needed ||
        usedDefault) {
        out->clear();
        return false;
    }
    return true;
}

bool GbkFromWide(const wchar_t* text, std::string* out) {
    return GbkFromWide(text, text ? std::wcslen(text) : 0, out);
}

std::wstring Wide(const char* text) {
    std::wstring wide;
    WideFromGbk(text, &wide);
    return wide;
}

std::wstring WideForDisplay(const char* text, size_t size) {
    std::wstring wide;
    ConvertFromGbk(text, size, 0, &wide);
    return wide;
}

std::wstring WideForDisplay(const char* text) {
    return WideForDisplay(text, text ? std::strlen(text) : 0);
}
