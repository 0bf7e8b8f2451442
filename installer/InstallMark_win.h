#pragma once

#include <windows.h>

#include <string>

#include "Devavi/Win32/RegTable.h"

// The installation's mark and the game's own entries in the registry: three REG_SZ values under the game's key in
// HKEY_CURRENT_USER (Devavi/Win32/RegTable.h reads and writes them).
//   InstallInfo        the game's installation folder, written by the game's setup; only read here
//   QuorvanInfo        the folder the pack was installed into; its presence means "installed"
//   QuorvanGeforce2mx  "1" or "0", the GeForce2MX compatibility flag of the settings dialog

constexpr char kInstallKeyPath[] = "Software\\KOEI\\Shin Sangokumusou 3\\Install";
constexpr char kInstallInfoValue[] = "InstallInfo";
constexpr char kQuorvanInfoValue[] = "QuorvanInfo";
constexpr char kQuorvanGeforce2mxValue[] = "QuorvanGeforce2mx";

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
