#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "installer/Dependencies_win.h"

// The install and uninstall flows write through Dependencies().fileWriter; tests put a writer there that fails part
// way, as a full disk does.

// WriteFile until all size bytes are written; false at the first write that fails or writes nothing.
bool WriteAllBytes(HANDLE file, const void* bytes, size_t size);
