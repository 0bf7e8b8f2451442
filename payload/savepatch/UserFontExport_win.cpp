// CreateUserFont as the installer looks it up: a C function with the __cdecl convention, exported under its
// decorated name by the library's .def file. Its one definition, shared by every library that exports it.

#include <type_traits>

#include "payload/savepatch/UserFontExport_win.h"

extern "C" bool __cdecl CreateUserFont(const char* sizeName,
                                       int width,
                                       int height,
                                       const char* fontName,
                                       const char* faceName,
                                       int glyphSize,
                                       int firstColumn,
                                       int firstRow,
                                       const char* text,
                                       const char* targetPath,
                                       const char* sourcePath) {
    return CreateUserFontWith(
        {sizeName, width, height, fontName, faceName, glyphSize, firstColumn, firstRow, text, targetPath, sourcePath});
}

// The installer calls it through the pointer type it looks it up as; the two must never drift apart.
static_assert(std::is_same<decltype(&CreateUserFont), CreateUserFontProc>::value, "CreateUserFont's signature");
