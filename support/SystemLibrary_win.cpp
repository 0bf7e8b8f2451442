#include "support/SystemLibrary_win.h"

#include <string>

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

HMODULE LoadByFullSystemPath(const char* dllName) {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        return nullptr;
    std::string path(folder, length);
    path += '\\';
    path += dllName;
    // With a full path, the altered search looks for the DLL's own imports in its folder first: the system's.
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

HMODULE LoadSystemLibrary(const char* dllName) {
    if (!IsBareName(dllName))
        return nullptr;
    HMODULE module = LoadLibraryExA(dllName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER)  // a loader without the flag
        module = LoadByFullSystemPath(dllName);
    return module;
}

FARPROC SystemLibraryExport(const char* dllName, const char* exportName) {
    HMODULE module = LoadSystemLibrary(dllName);
    return module && exportName ? GetProcAddress(module, exportName) : nullptr;
}
