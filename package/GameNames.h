#pragma once

#include <string>

// Where the game keeps what the program reads and writes outside the game folder. One place for the product and
// the package tool ("packtool facts"), which prints them for the scripts that drive the window.

// The game's key below HKEY_CURRENT_USER and its three REG_SZ values:
//   InstallInfo        the game's installation folder, written by the game's setup; only read here
//   QuorvanInfo        the folder the pack was installed into; its presence means "installed"
//   QuorvanGeforce2mx  "1" or "0", the GeForce2MX compatibility flag of the settings dialog
inline constexpr char kInstallKeyPath[] = "Software\\KOEI\\Shin Sangokumusou 3\\Install";
inline constexpr char kInstallInfoValue[] = "InstallInfo";
inline constexpr char kQuorvanInfoValue[] = "QuorvanInfo";
inline constexpr char kQuorvanGeforce2mxValue[] = "QuorvanGeforce2mx";

// The save: this folder below the user's documents folder, and the file in it.
inline constexpr char kSaveFolder[] = "KOEI\\Shin Sangokumusou 3\\Savedata";
inline constexpr char kSaveFileName[] = "ShinSangokumusou3.dat";

// What follows the documents folder in the save's path: "\" + kSaveFolder + "\" + kSaveFileName.
inline std::string SaveFileTail() {
    return std::string("\\") + kSaveFolder + "\\" + kSaveFileName;
}
