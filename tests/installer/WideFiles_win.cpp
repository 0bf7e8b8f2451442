#include "tests/installer/WideFiles_win.h"

#include "installer/InstallMark_win.h"

bool SetInstallText(const char* name, const std::wstring& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, WideOf(kInstallKeyPath).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool written =
        RegSetValueExW(key, WideOf(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       DWORD((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

bool ReadInstallText(const char* name, std::wstring* text) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, WideOf(kInstallKeyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof data[0];
    const bool found = RegQueryValueExW(key, WideOf(name).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                                        &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (found)
        *text = data;
    return found;
}

std::string WindowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return GbkOf(text);
}
