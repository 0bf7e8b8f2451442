#pragma once

// For a file that calls functions which came with Windows Vista, the oldest system the program's manifest names
// (the build targets Windows XP's headers otherwise): included first, before anything else includes windows.h.
#if _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>
