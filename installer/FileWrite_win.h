#pragma once

#include <windows.h>

#include <cstddef>

// The one place where the install and uninstall flows hand bytes to the system: every byte of a buffer into an
// open file. Tests put a writer here that fails part way, as a full disk does.
using FileWriter = bool (*)(HANDLE file, const void* bytes, size_t size);
extern FileWriter gFileWriter;

// WriteFile until all size bytes are written; false at the first write that fails or writes nothing.
bool WriteAllBytes(HANDLE file, const void* bytes, size_t size);
