#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Path and file helpers of the install and uninstall flows. Paths are GBK byte strings: a byte with the high bit
// set starts a two-byte character whose second byte is never a separator or a letter, even when it equals "\"
// (0x5C). Both "\" and "/" separate components and may be mixed. Nothing here converts separators; the list
// operations join with "\". A lone lead byte right before the terminator ends every scan.

// Longest folder part DirPartOf returns, and the limit on the position of separators MakeDirsForPath acts on.
constexpr size_t kMaxDirPart = 255;
constexpr size_t kMaxDirPrefix = 511;

// The bytes before the path's last separator ("D:\Games\SM3\a.exe" gives "D:\Games\SM3", "C:\x.exe" gives "C:",
// a path without a separator gives ""). The result sits in one static buffer, valid until the next call, and is
// used from one thread at a time. A folder part longer than kMaxDirPart bytes is not cut: the result is null.
const char* DirPartOf(const char* path);

// True when text ends with suffix, byte for byte; an empty suffix matches every text.
bool EndsWith(const char* text, const char* suffix);

// The positions of the path's separators, in order. False (and an empty list) when one of them lies beyond
// kMaxDirPrefix, so that no folder prefix is ever cut short.
bool SeparatorPositions(const char* path, std::vector<size_t>& positions);

// The three calls below take an absolute path on a drive ("C:\Games\SM3\a.exe") and act as the flows do below the
// game folder (installer/FileWrite_win.h): the drive's root is held and every folder on the way is opened relative
// to the one above and checked, so that a junction, a symbolic link or a file with a second name anywhere below the
// drive is refused, never written through. Network paths and relative ones are refused.

// Makes every folder of path that is missing (the last component is taken to be a file name). False when one of
// them could not be made or was refused, or when the path has a separator beyond kMaxDirPrefix; then nothing
// is created.
bool MakeDirsForPath(const char* path);

// Puts size bytes in the file at path, replacing the file whole (as ReplaceFileWith does) and making its missing
// folders. False when anything on the way or the file was refused, or when the bytes did not all reach the disk.
bool WriteFileMakingDirs(const void* bytes, size_t size, const char* path);

// Why a file or folder could not be written or removed, as far as the system lets us tell.
enum class FileFault {
    kNone,
    kInUse,      // another program holds it open
    kReadOnly,   // its read-only attribute could not be cleared
    kDenied,     // the system refused access
    kLink,       // a link to another place: not followed, and not removed through it
    kNotListed,  // a folder that was not entered (a dot folder, or a path too long to open)
    kOther,      // anything else: the disk full, a device error
};

// Puts size bytes in place of the file at path without ever leaving it cut short: they are written to a new file of
// our own in the same folder (made when missing), flushed to the disk, and the new file then takes path's place in
// one rename through its handle. A read-only file is replaced too (a game copied from its disc keeps the
// attribute); the new file does not keep it. A link or a file with a second name at path or on the way is
// refused (kLink). False, with path as it was (its attributes included) and the new file removed, when any step
// fails; *fault, when given, then says why. For the game's own files, which the user may have open or on a full
// disk.
bool ReplaceFileWith(const void* bytes, size_t size, const char* path, FileFault* fault = nullptr);

// True when the file at path holds exactly size bytes equal to bytes.
bool FileHolds(const char* path, const void* bytes, size_t size);

// path without the separators at its end ("G:\" gives "G:", "D:\Games\" gives "D:\Games"); the second byte of a
// two-byte character stays even when it equals "\".
std::string WithoutTrailingSeparators(std::string path);

// Something RemoveWithoutFollowingLinks left in place.
struct LeftBehind {
    std::string path;  // parent + "\" + name + ...
    bool folder;
    FileFault cause;
};

// Removes parent + "\" + name: a file, or a folder with everything in it, never following a link. Each folder is
// opened, checked on its handle (not a link, and exactly the entry of the folder above it) and kept open without
// delete sharing while its contents go, so that it cannot be swapped for a link meanwhile; every file and folder is
// deleted through the handle it was checked on. A link is removed as a link where the system opens the link itself
// (junctions and symbolic links on Windows), and otherwise left in place. Folders whose name begins with "." are
// not entered. Below parent + "\" + name the entries are reached by the names the system gives them, so one whose
// name GBK cannot spell goes too; where such an entry stays, its path in left shows "?" for those characters. Each
// thing that stays is added to left, except a folder that stays only because something named below it does. True
// when nothing stays (nothing there counts as removed).
bool RemoveWithoutFollowingLinks(const std::string& parent, const char* name, std::vector<LeftBehind>& left);

// Appends every file below folder (folder + "\" + name, lower-cased with LowerAsciiDbcs), depth first in the order
// the file system reports entries, keeping only paths that end with suffix when one is given. Folders whose name
// begins with "." are skipped with their contents. A folder that is a link to another place (a junction or a
// symbolic link) is never entered. A folder that cannot be searched adds nothing; neither does an entry whose name
// GBK cannot spell, which no path of this list could name.
void ListFilesRecursive(const char* folder, std::vector<std::string>& list, const char* suffix = nullptr);

// Appends every folder below folder, lower-cased, each after all of its sub-folders, so that removing them in
// list order removes the deepest first. A folder that is a link to another place is listed (removing it removes
// the link) but never entered. An empty folder stands for the current directory. Folders whose names GBK cannot
// spell are left out with everything below them.
void ListDirsRecursive(const char* folder, std::vector<std::string>& list);

// The install folder and the install mark as the flows use them: true when folder names an absolute folder, which
// is then given without trailing separators ("G:\" becomes "G:", "C:\Games\SM3\" becomes "C:\Games\SM3"), so
// that a separator and a name can be appended to it. False, with folder unchanged, for anything else.
bool NormaliseInstalledFolder(std::string& folder);

// The folder as the user reads it: a drive root with its separator ("G:\"), anything else as it is.
std::string FolderForDisplay(const std::string& folder);

// True for a package entry name (normalised) under the pack folder: "quorvan" and then a separator. "quorvan.ini"
// and "quorvanx\a" are not the pack's.
bool IsPackEntryName(const std::string& name);
