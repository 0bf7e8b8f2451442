#pragma once

#include <windows.h>

#include <string>

#include "Devavi/Win32/RegTable.h"
#include "package/GameNames.h"

// The installation's mark and the game's own entries in the registry: the values of the game's key
// (package/GameNames.h), read and written through Devavi/Win32/RegTable.h.

// The folder in "QuorvanInfo", when it holds an absolute path (a drive root "G:" or "G:\" included, given back as
// "G:"); anything else (absent, empty, relative) counts as not installed.
bool ReadInstalledFolder(std::string& folder);

// The game's folder as its own setup wrote it ("InstallInfo"), RegReadGbkString's answer: on kNotGbk, given (when
// not null) receives the text as the registry holds it.
RegRead ReadGameFolder(std::string& folder, std::wstring* given);

// Marks the installation: writes folder into "QuorvanInfo" (a failure shows the REGCHECK box) and reads it back as
// the uninstall will. True only when ReadInstalledFolder now gives folder itself.
bool WriteInstallMark(const std::string& folder);

enum class MarkRemoval {
    kRemoved,       // "QuorvanInfo" is gone, or was not there
    kKeyNotOpened,  // the install key cannot be opened for writing: nothing was tried
    kValueStays,    // the value could not be removed
};

// Removes "QuorvanInfo" through Dependencies().deleteMarkValue.
MarkRemoval RemoveInstallMark();

// The settings dialog's flag ("QuorvanGeforce2mx"): RegReadString's and RegWriteString's contracts.
bool ReadGeforce2mxFlag(std::string& flag);
bool WriteGeforce2mxFlag(const char* flag);
