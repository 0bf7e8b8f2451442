#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The install record: what one install wrote into the game folder and what stood at each place before, so that the
// uninstall gives back exactly the player's game. The install writes it into the pack folder before its first
// change to the game folder and reads it back; the uninstall works from it alone (an installer of a later release
// included). Portable: the writer, the reader and their checks; the Win32 side lives in the flows.

// What stood at a place before the install wrote there.
enum class BeforeKind : uint8_t {
    kNothing = 0,   // no file: the uninstall removes what the install wrote
    kOriginal = 1,  // the game's own file as the package carries it: the uninstall writes the package's copy back
    kKept = 2,      // other bytes: copied into the pack folder first (kept), and put back from that copy
};

// One file the install writes. Paths are GBK, relative to the game folder, with "\" separators.
struct RecordEntry {
    std::string path;
    uint32_t size = 0;  // the size the install gives the file
    std::string md5;    // and its MD5, 32 lower-case hex digits
    BeforeKind before = BeforeKind::kNothing;
    uint32_t beforeSize = 0;  // kOriginal and kKept: the earlier bytes' size and MD5
    std::string beforeMd5;
    std::string kept;  // kKept: where the copy of the earlier bytes lies (below the pack folder)
    // Bytes the install writes at the place first and replaces later (a pack file that a copy overwrites): a file
    // still holding them after an interrupted install is the install's own as well.
    bool hasInterim = false;
    uint32_t interimSize = 0;
    std::string interimMd5;
};

struct InstallRecord {
    std::vector<RecordEntry> entries;
};

// Why a record was refused.
enum class RecordFault {
    kNone,
    kShort,      // a field runs past the end, or bytes follow the checksum
    kMagic,      // not an install record
    kVersion,    // a version this reader does not know
    kChecksum,   // the bytes differ from those the writer summed
    kBadPath,    // a path that is empty, too long, leads outside the game folder, or a kept copy outside its folder
    kBadDigest,  // an MD5 that is not 32 lower-case hex digits
    kBadKind,    // an unknown kind of earlier bytes
    kDuplicate,  // two entries for one place
    kTooMany,    // more entries than any install writes
};

// A short text for the log ("checksum", "version", ...).
const char* RecordFaultText(RecordFault fault);

// Where the record lies, relative to the game folder, and the folder of the kept copies.
extern const char kInstallRecordName[];  // "quorvan\install.rec"
extern const char kKeptFolderName[];     // "quorvan\kept"

constexpr uint32_t kInstallRecordVersion = 1;
constexpr uint32_t kMaxRecordEntries = 65536;
constexpr size_t kMaxRecordPath = 1024;

// Files of the pack folder that the helper library and the settings dialog write at places of their own (the
// library's index, the two user-font textures) and the flows' logs: the installation's own, though no entry names
// them; the uninstall removes them with the pack. Relative to the game folder.
extern const char* const kPackOwnFiles[5];

// Where the install keeps the earlier bytes of path: below kKeptFolderName, under the same relative path.
std::string KeptPathFor(const std::string& path);

// The record's bytes as ReadInstallRecord reads them. Entries are written in their order.
std::string WriteInstallRecord(const InstallRecord& record);

// Reads a record written by WriteInstallRecord; kNone with *record filled, or the first fault found (*record then
// unchanged).
RecordFault ReadInstallRecord(const void* bytes, size_t size, InstallRecord* record);

// True for two names of one place: equal but for the case of ASCII letters, "/" and "\" alike (the file system's
// view of the game folder's names).
bool SameRecordPath(const std::string& a, const std::string& b);

// What stood at a place before the install, from what the file there holds now: nothing; the bytes the install
// writes there (left by an earlier install of the pack, whose uninstall would have put the package's original back
// where the package carries one); the package's original; or other bytes, which are kept.
BeforeKind BeforeFrom(bool present, bool holdsWritten, bool holdsOriginal, bool hasOriginal);

// What a recorded file holds when the uninstall comes to it, and what the uninstall does with it.
enum class HeldNow {
    kMissing,  // no file there
    kWritten,  // the bytes the install wrote
    kEarlier,  // the bytes that stood there before (put back already: a second run, or an install that stopped)
    kOther,    // anything else: changed since the install
};
enum class UndoStep {
    kNone,          // nothing to do
    kRemove,        // the install's own file goes
    kPutBack,       // the earlier bytes are written back
    kChangedSince,  // changed since the install: stays as it is, and is named
};
UndoStep UndoStepFor(BeforeKind before, HeldNow now);

// The folders inside the pack folder that hold the given paths (relative to the game folder), the pack folder
// itself included, deepest first: the folders the installation made, removed when nothing else is left in them.
std::vector<std::string> PackFoldersOf(const std::vector<std::string>& paths);
