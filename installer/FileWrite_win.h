#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "installer/Dependencies_win.h"

// The install and uninstall flows write through Dependencies().fileWriter; tests put a writer there that fails part
// way, as a full disk does.

// A junction or a symbolic link (a reparse point): what lies behind it is somewhere else.
inline bool IsLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// WriteFile until all size bytes are written; false at the first write that fails or writes nothing.
bool WriteAllBytes(HANDLE file, const void* bytes, size_t size);

// GetFileAttributesW of a GBK path; INVALID_FILE_ATTRIBUTES for a path that is not GBK, as for one that is missing.
DWORD FileAttributesOf(const std::string& path);

// A name the system gave (UTF-16) as a report or a box shows it: GBK, with "?" for each character that GBK cannot
// spell. "?" is in no file name, so the user sees where such a character stands; the text names no file itself.
std::string ShownName(const std::wstring& name);
