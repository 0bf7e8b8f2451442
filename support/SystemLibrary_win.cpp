#include "support/SystemLibrary_win.h"

#include <string>

#include "support/SystemText_win.h"

namespace {

// A name that is a file name only: anything with a folder in it would leave the system folder.
bool IsBareName(const char* name) {
    if (!name || !*name)
        return false;
    for (const char* c = name; *c; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':')
            return false;
    }
    return true;
}

HMODULE LoadByFullSystemPath(const std::wstring& dllName) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    std::wstring path(folder, length);
    path += L'\\';
    path += dllName;
    // With a full path, the altered search looks for the DLL's own imports in its folder first: the system's.
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

HMODULE LoadSystemLibrary(const char* dllName) {
    std::wstring name;
    if (!IsBareName(dllName) || !WideFromGbk(dllName, &name))
        return nullptr;
    HMODULE module = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER)  // a loader without the flag
        module = LoadByFullSystemPath(name);
    return module;
}

FARPROC SystemLibraryExport(const char* dllName, const char* exportName) {
    HMODULE module = LoadSystemLibrary(dllName);
    return module && exportName ? GetProcAddress(module, exportName) : nullptr;
}
