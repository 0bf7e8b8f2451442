#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The one place where the install and uninstall flows hand bytes to the system: every byte of a buffer into an
// open file. Tests put a writer here that fails part way, as a full disk does.
using FileWriter = bool (*)(HANDLE file, const void* bytes, size_t size);
extern FileWriter gFileWriter;

// WriteFile until all size bytes are written; false at the first write that fails or writes nothing.
bool WriteAllBytes(HANDLE file, const void* bytes, size_t size);

// Called by RemoveWithoutFollowingLinks with the path of each folder it has checked and holds, before anything in
// it goes. Tests swap folders for links here; none in the program.
using FolderCheckedHook = void (*)(const std::string& path);
extern FolderCheckedHook gFolderChecked;
