#pragma once

#include <windows.h>

#include "installer/Dependencies_win.h"
#include "support/Win32Handles.h"

// The resource-installer library ("SavePatch.qvx" in the game folder) and its two exports, looked up by their
// decorated names. The library runs with the installer's rights, so it is loaded only from an absolute path and only
// when the file holds exactly the bytes of the package's own "SavePatch.qvx" entry (which must pass its checks):
// compared right before loading, through a handle that lets nobody write, rename or delete the file until the
// loader has mapped it. Each call loads the library, calls the export and frees the library at once.
//
// What fails is reported with one error box (caption "错误", naming the file; owner: the one given, or none) and
// the call counts as made: nothing happened and the result is false. A library whose bytes differ from the
// package's is never loaded (kLibraryChangedText).

extern const char kResourceInstallExport[];  // void ResourceInstall(bool, HWND, char*)
extern const char kCreateUserFontExport[];   // bool CreateUserFont(const char*, int, int, const char*, ...)
extern const char kLibraryChangedText[];     // the box's text for a file that is not the package's library

// The verified library, loaded; null (the user has been told) when the path is not absolute, the file cannot be
// opened or loaded, or its bytes are not the package's entry. The caller frees it.
HMODULE LoadVerifiedLibrary(const char* libraryPath, HWND owner);

// Dependencies().libraryChecked is called with the library's path after its bytes have matched and before it is
// loaded, while our handle holds the file.

// CreateUserFont's arguments, one member a parameter, in the export's order. The integers: the texture's width and
// height, the glyph size, and the column and row of the grid cell that takes the first of the eight characters (the
// texture is a grid of 26 x 28 cells of the glyph size). The texts are GBK.
struct UserFontArguments {
    const char* sizeName;  // the texture's size tag, "832_896"
    int width;
    int height;
    const char* fontName;  // a label, "自创32"
    const char* faceName;  // empty: the system's choice for the GB2312 character set
    int glyphSize;
    int firstColumn;
    int firstRow;
    const char* text;        // the 17-byte text block
    const char* targetPath;  // relative paths are taken from the pack folder beside the library
    const char* sourcePath;
};

using ResourceInstallProc = void(__cdecl*)(bool install, HWND status, char* statusText);
// The export's C signature: UserFontArguments' members, in their order. The helper library's one definition of the
// export is checked against this type, as is its ResourceInstall against ResourceInstallProc.
using CreateUserFontProc = bool(
    __cdecl*)(const char*, int, int, const char*, const char*, int, int, int, const char*, const char*, const char*);

// Calls ResourceInstall(true, status, statusText) and returns when the library is done; meanwhile the library
// may write NUL-terminated progress text of at most 511 bytes into statusText (512 bytes) and repaint status.
// False when the library could not be called.
bool CallResourceInstall(const char* libraryPath, HWND status, char* statusText);

// Calls CreateUserFont with the given arguments and returns its result; false when it could not be called.
bool CallCreateUserFont(const char* libraryPath, const UserFontArguments& arguments);

// The library held loaded for several CreateUserFont calls in a row (the settings dialog's two renders). A library
// that is refused, does not load or lacks the export is reported once, when it is loaded, with owner as the box's
// owner; loaded() is then false.
class UserFontLibrary {
  public:
    UserFontLibrary(const char* libraryPath, HWND owner);
    UserFontLibrary(const UserFontLibrary&) = delete;
    UserFontLibrary& operator=(const UserFontLibrary&) = delete;

    // Whether the export was found: false when the library could not be loaded or lacks it.
    bool loaded() const { return createUserFont_ != nullptr; }
    // Calls the export with the arguments and returns its result; false when it is not loaded.
    bool Create(const UserFontArguments& arguments) const;

  private:
    ScopedLibrary module_;
    CreateUserFontProc createUserFont_ = nullptr;
};
