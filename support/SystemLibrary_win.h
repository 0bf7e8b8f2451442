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

// An export of a DLL that every process holds from its first instruction (kernel32.dll, ntdll.dll): found where it
// is, never loaded. Null when this system has no such export (a call newer than the system).
template <typename Proc>
Proc LoadedExport(const wchar_t* dllName, const char* exportName) {
    HMODULE module = GetModuleHandleW(dllName);
    return module ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, exportName))) : nullptr;
}

// Asks for one WM_MOUSELEAVE when the mouse leaves window: user32's own call (comctl32's _TrackMouseEvent only
// forwards to it, and the program imports no comctl32).
inline void TrackMouseLeave(HWND window) {
    TRACKMOUSEEVENT request = {};
    request.cbSize = sizeof request;
    request.dwFlags = TME_LEAVE;
    request.hwndTrack = window;
    TrackMouseEvent(&request);
}
