#pragma once

// The names the install and uninstall flows look up in the package, and where they put them in the game folder.
// One table for the product, the package tool's checks and the benchmark; tests keep their own expectations.
// Entry names use "\" separators; lookups ignore the case of ASCII letters.

// Every package entry under this folder name is unpacked, under the same name, into the game folder.
inline constexpr char kPackFolder[] = "quorvan";
inline constexpr char kLayoutEntry[] = "winpos.txt";        // the main window's layout
inline constexpr char kLibraryEntry[] = "SavePatch.qvx";    // the resource-installer library
inline constexpr char kLibraryTarget[] = "/SavePatch.qvx";  // where it goes, after the game folder
inline constexpr char kConfigEntry[] = "SM3Config.qvx";     // the localised configuration program
inline constexpr char kConfigTarget[] = "/SM3Config.exe";   // where it replaces the game's own

// A package entry and its place in the game folder; targets are appended to the install folder and begin with a
// separator.
struct CopyRow {
    const char* entry;
    const char* target;
};

// The last files, copied by the install over what the pack folder and the library left.
extern const CopyRow kCopyTable[21];

// The game's own files, written back by the uninstall from the unlocalised copies in the package.
extern const CopyRow kRestoreTable[3];
