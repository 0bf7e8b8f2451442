#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/Extract.h"
#include "support/HeldFolder_win.h"

// What the installer asks of the world outside it, in one place. The program's entry point hands its set to
// SetInstallerDependencies at start-up, before the window exists; tests hand their own (a disk that fills up, a
// registry that refuses, folders swapped for links) while no install runs. A member left as it is gives the
// product's behaviour; the two dialogs of the settings folder are absent until the entry point gives them.

// The file chooser (ChoosePath's contract): true with the chosen file's full path, false with path emptied.
using PathChooser = bool (*)(HWND owner, std::string& path, const char* filter);
// The "setting" command's modal dialog, owned by mainWindow.
using SettingsOpener = void (*)(HWND mainWindow);
// Bytes available to the caller on the volume that holds folder ("C:\Games\SM3\", "\\server\share\SM3\", always
// ending in a separator); false when the query fails.
using FreeSpaceQuery = bool (*)(const char* folder, uint64_t* bytesAvailable);
// The library's ResourceInstall (CallResourceInstall's contract), loaded only when the file holds exactly expected,
// the bytes the install wrote there: false when the library could not be called.
using ResourceInstallCaller = bool (*)(const char* libraryPath,
                                       const MemorySink& expected,
                                       HWND status,
                                       char* statusText);
// Every byte of a buffer into an open file (WriteWholeBuffer's contract): the one place where the install and
// uninstall flows hand bytes to the system.
using FileWriter = FileBytesWriter;
// Removes a registry value named in GBK (RegDeleteValueW's contract).
using MarkDeleter = LONG(WINAPI*)(HKEY key, const char* name);
// Called by RemoveWithoutFollowingLinks with the path of each folder it has checked and holds, before anything in
// it goes.
using FolderCheckedHook = void (*)(const std::string& path);
// Called with the library's path (backslashes) after its bytes have matched and before it is loaded, while our
// handle holds the file.
using LibraryCheckedHook = void (*)(const char* path);

// How the install worker makes sure of the package before the first change. The product checks once; the benchmark
// compares the three.
enum class EntryCheck {
    kNone,   // no check first: each entry's checks run as it is extracted, after the game folder has changed
    kOnce,   // every entry checked first; the unpack then reads the package it holds open without write sharing
             // and skips the second digest
    kTwice,  // every entry checked first, and each checked again as it is extracted
};

bool QueryFreeSpace(const char* folder, uint64_t* bytesAvailable);
bool CallResourceInstall(const char* libraryPath, const MemorySink& expected, HWND status, char* statusText);
// RegDeleteValueW with the name converted; ERROR_INVALID_PARAMETER, with nothing removed, for a name that is not GBK.
LONG WINAPI DeleteGbkValue(HKEY key, const char* name);

struct InstallerDependencies {
    PathChooser choosePath = nullptr;       // while null, nothing is chosen
    SettingsOpener openSettings = nullptr;  // while null, the "setting" command does nothing
    FreeSpaceQuery freeSpace = QueryFreeSpace;
    ResourceInstallCaller callResourceInstall = CallResourceInstall;
    FileWriter fileWriter = WriteWholeBuffer;
    MarkDeleter deleteMarkValue = DeleteGbkValue;
    FolderCheckedHook folderChecked = nullptr;    // none in the program
    LibraryCheckedHook libraryChecked = nullptr;  // none in the program
    EntryCheck entryCheck = EntryCheck::kOnce;
    // The unpack's share done, on the status label ("Copying... 37%") and the taskbar button. The benchmark
    // compares the install with it and without it.
    bool showUnpackProgress = true;
    // The install record, the digests of the unpacked entries and the check of the game's originals before the
    // first change, with the player's kept bytes (installer/InstallRecord.h). Only the benchmark turns it off, to
    // weigh its cost.
    bool installRecord = true;
};

// Replaces the whole set; on the user-interface thread while no install runs.
void SetInstallerDependencies(const InstallerDependencies& dependencies);
// The set in use.
const InstallerDependencies& Dependencies();
