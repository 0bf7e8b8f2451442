#pragma once

#include <windows.h>

#include <vector>

#include "installer/Dependencies_win.h"
#include "support/HeldFolder_win.h"
#include "support/Win32Handles.h"

// The resource-installer library ("SavePatch.qvx" in the game folder) and its two exports, looked up by their
// decorated names. The library runs with the installer's rights, so it is loaded only from an absolute path and only
// when the file holds exactly the bytes of the package's own "SavePatch.qvx" entry (which must pass its checks):
// compared right before loading, through a handle that lets nobody write, rename or delete the file until the
// loader has mapped it, while every folder of its path is held from the drive's root down so that none can be
// swapped for a link. A path with a link in it (a folder or the library itself), or one not on a drive of this
// machine (UNC, "\?", "\."), is refused (kPathRefusedText). Each call loads the library, calls the export and
// frees the library at once.
//
// What fails is reported with one error box (caption "错误", naming the file; owner: the one given, or none) and
// the call counts as made: nothing happened and the result is false. A library whose bytes differ from the
// package's is never loaded (kLibraryChangedText).

extern const char kResourceInstallExport[];  // void ResourceInstall(bool, HWND, char*)
extern const char kCreateUserFontExport[];   // bool CreateUserFont(const char*, int, int, const char*, ...)
extern const char kLibraryChangedText[];     // the box's text for a file that is not the package's library
extern const char kPathRefusedText[];        // the box's text for a path with a link, or not on a drive
extern const char kUnfinishedText[];         // the box's text for a ResourceInstall that did not finish
extern const char kResourceIndexName[];      // "resource.lst", the index ResourceInstall writes in the pack folder

// The verified library, loaded; null (the user has been told) when the path is not absolute or not on a drive, one
// of its folders or the file is a link, the file cannot be opened or loaded, or its bytes are not the package's
// entry (or, given expected, not exactly those bytes: the install compares with what it has just written from the
// checked entry). The caller frees it. With heldFolders, the folders of the path stay held there (the library's
// folder last) until the caller lets them go; empty when null is returned.
HMODULE LoadVerifiedLibrary(const char* libraryPath,
                            HWND owner,
                            std::vector<HeldFolder>* heldFolders = nullptr,
                            const MemorySink* expected = nullptr);

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
// True only when the library finished: its last text is its finishing line ("正在安装资源 100% (n/n)"; any other
// text is a failure it names) and the pack folder holds a new index of whole lines. False when the library could
// not be called, or did not finish (then one box, kUnfinishedText, shows its last text and the path).
// The library's bytes are the package's entry; given expected, exactly those bytes instead.
bool CallResourceInstall(const char* libraryPath, HWND status, char* statusText);
bool CallResourceInstall(const char* libraryPath, const MemorySink& expected, HWND status, char* statusText);

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
