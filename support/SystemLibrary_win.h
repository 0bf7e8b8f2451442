#pragma once

#include <windows.h>

// Functions of Windows DLLs that are not KnownDLLs (msimg32, comctl32, windowscodecs, ...). A static import of
// such a DLL is resolved by the loader before any code of ours runs, and the loader looks for it beside the
// program first: a DLL of that name in the download folder would run with the installer's rights. So the shipped
// files import only KnownDLLs, and everything else is loaded here, at its first use, from the system folder only.

// The DLL (a bare file name such as "msimg32.dll") from the system folder, or null when it is not there. The module
// stays loaded until the process ends. Systems whose loader cannot be told to search the system folder alone
// (LOAD_LIBRARY_SEARCH_SYSTEM32 is missing before the 2011 loader update of Windows Vista and 7) are given the
// DLL's full path in the system folder instead.
HMODULE LoadSystemLibrary(const char* dllName);

// An export of such a DLL, or null when the DLL or the export is missing.
FARPROC SystemLibraryExport(const char* dllName, const char* exportName);

template <typename Proc>
Proc SystemExport(const char* dllName, const char* exportName) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(SystemLibraryExport(dllName, exportName)));
}
