#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/Win32Handles.h"

// Writing and deleting below a folder that other programs may change while we work. The program runs with
// administrator rights, and the game folder and the player's documents folder can be written by any program of the
// player's session: one of them can put a junction, a symbolic link or a hard link where we are about to write, or
// swap a folder for one between our check and our write. A path names a place again at every call, so nothing here
// acts on a path after the first one: a folder is opened once and held, and everything below it is reached by a
// single name relative to the handle of the folder above, then checked on its own handle before anything is done
// through it:
// - it is not a link (a reparse point, opened as itself rather than followed);
// - it really is the entry of that name in the held folder (Wine follows the links of the machine it runs on even
//   when asked not to: the final path of the handle then lies elsewhere);
// - a file has no other name (a hard link: what it holds may be another place's file).
// A child that fails a check is refused with a reason and nothing is read, written or deleted through it.
// Held folders are opened without delete sharing, so that no other program can rename them away or put a link in
// their place while they are held. Paths and names are GBK, as everywhere in the program; the system is spoken to in
// UTF-16 (support/SystemText_win.h).

// Why a step was refused or failed.
enum class HeldFault {
    kNone,
    kMissing,    // nothing of that name (or the folder to hold is not there)
    kExists,     // a file made as new only found its name taken
    kLink,       // a junction or a symbolic link, or an entry the system reached through one
    kHardLink,   // a file that has another name as well
    kNotFolder,  // a file where a folder was wanted
    kNotFile,    // a folder where a file was wanted
    kInUse,      // another program holds it
    kDenied,     // the system refused access
    kBadName,    // a path or name this file does not act on: not GBK, UNC or device paths, relative, "..", a colon
    kOther,      // anything else: a full disk, a device error
};

// The fault of a step and the GBK path of the thing it concerns (the held folder's path and the names below it), for
// the user's message.
struct HeldFailure {
    HeldFault fault = HeldFault::kNone;
    std::string path;
};

// Every byte of a buffer into an open file (the installer's tests put a writer here that fails part way, as a full
// disk does). WriteWholeBuffer is the one the program uses.
using FileBytesWriter = bool (*)(HANDLE file, const void* bytes, size_t size);

// WriteFile in chunks until all size bytes are written; false at the first write that fails or writes nothing.
bool WriteWholeBuffer(HANDLE file, const void* bytes, size_t size);

// What PutFile does with a file that already has the name.
enum class PutMode {
    kReplace,  // it is replaced (when it passes the checks, read-only or not)
    kNewOnly,  // it stays, and PutFile fails with kExists (a backup never overwrites an older backup)
};

// A folder opened and held until the object goes. Movable, not copyable. The calls of one object may come from any
// thread, but RemoveLeftovers lists through the held handle and must not run on two threads at once.
class HeldFolder {
  public:
    HeldFolder() = default;
    ~HeldFolder();
    HeldFolder(HeldFolder&& other);
    HeldFolder& operator=(HeldFolder&& other);
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    // Opens and holds the folder at an absolute path: a drive and a separator ("C:\Games\SM3", "/" may separate
    // too) or a drive alone, which names its root ("G:"). UNC paths ("\\server\share"), "\\?\" and "\\.\" paths,
    // relative ones and paths that are not GBK are refused (kBadName): the program is given folders on drives. The
    // path is opened the ordinary way, links included (a game reached through a junction is still the player's
    // game); only what lies below it is checked. Whatever was held before is released first.
    bool Open(const std::string& path, HeldFailure* failure = nullptr);

    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
    // The path given to Open, without trailing separators (a drive root keeps its own: "G:\"), and the names of the
    // folders below it that led here. For messages: nothing is opened by it.
    const std::string& path() const { return path_; }
    HANDLE handle() const { return handle_; }

    // The folder name (one name, no separator) in this one, checked and held by *child; with create, it is made when
    // missing. A file of that name is kNotFolder.
    bool OpenFolder(const std::string& name, bool create, HeldFolder* child, HeldFailure* failure = nullptr) const;

    // The folders of relative ("a\b\c", "/" may separate too), each opened (or made, with create) in the one above
    // and checked: *last holds the deepest one. failure->path names the folder that was refused.
    bool OpenFolders(const std::string& relative, bool create, HeldFolder* last, HeldFailure* failure = nullptr) const;

    // Puts size bytes in the file name without ever leaving it half written: they go to a new file of our own in this
    // folder ("qv" + hex digits + ".tmp", made as new, never an existing one), are flushed, and the new file then
    // takes the name in one rename through its handle. A file already there is opened first and checked (a file, not
    // a link, no other name) and held until just before the rename; in the moment between, what the name leads to
    // cannot be written through either: the rename replaces the entry itself, never what a link points at. A
    // read-only file is replaced too; the new file does not keep the attribute. False, with the file of that name as
    // it was (its attributes included) and the new file deleted through its handle, when any step fails.
    bool PutFile(const std::string& name,
                 const void* bytes,
                 size_t size,
                 PutMode mode,
                 HeldFailure* failure = nullptr,
                 FileBytesWriter writer = nullptr) const;

    // Deletes the file name through the handle it was checked on. A read-only file is deleted too. True when the
    // file is gone, or was not there.
    bool RemoveFile(const std::string& name, HeldFailure* failure = nullptr) const;

    // Deletes the folder name of this one, checked as OpenFolder checks it, when it is empty; a folder with anything
    // in it stays (the system refuses to delete it). True when it is gone, or was not there.
    bool RemoveEmptyFolder(const std::string& name, HeldFailure* failure = nullptr) const;

    // The file name of this folder, opened with access (FILE_GENERIC_READ, FILE_GENERIC_WRITE, or both) and the
    // share mode as CreateFile takes them, never created, and checked as PutFile checks a file already there (a
    // file, not a link, no other name): *file holds it. For a file that is read in pieces or changed in place: all
    // that is done to it then goes through this handle, never through its path again.
    bool OpenFile(const std::string& name,
                  ACCESS_MASK access,
                  ULONG share,
                  ScopedFileHandle* file,
                  HeldFailure* failure = nullptr) const;

    // The bytes of the file name, read through the handle it was checked on (for comparisons).
    bool ReadFileBytes(const std::string& name, std::string* bytes, HeldFailure* failure = nullptr) const;

    // Deletes what PutFile (or an older version of the program, through GetTempFileName) left behind when the
    // process ended during a write: the files "qv" + 1 to 8 hex digits + ".tmp" of this folder, each checked and
    // deleted as RemoveFile does. True when none stays; failure names the first that stayed.
    bool RemoveLeftovers(HeldFailure* failure = nullptr) const;

  private:
    void Release();

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string path_;
};

// Where the system says an open handle really is ("\\?\C:\Games\SM3\quorvan"), after every link on the way.
bool FinalPathOf(HANDLE handle, std::wstring* path);

// What the checks ask of an open file or folder, through its handle. GetFileInformationByHandle says the same and
// the volume's serial besides, which Wine asks of its mount manager, another process, at every call: asked for each
// file of a pack, that was most of the time the checks took.
struct HandleFacts {
    DWORD attributes = 0;
    uint64_t size = 0;   // of a file, in bytes
    DWORD links = 0;     // the names the file has
    uint64_t index = 0;  // the file index: one object of its volume
};
bool FactsOf(HANDLE handle, HandleFacts* facts);
// One object of one volume: the volume's serial and the file index match.
bool SameObject(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b);
// Equal names as the file system compares them (case ignored).
bool SameName(const std::wstring& a, const std::wstring& b);

// Whether the open file holds exactly size bytes equal to bytes: its size first, so that nothing larger is ever read,
// then piece by piece from its start (the handle must be at offset 0 and opened for reading).
bool HandleHoldsExactly(HANDLE file, const void* bytes, size_t size);

// Puts size bytes in the file at relative ("quorvan\data\x.bin") below root: its folders are opened or made one by
// one, each in the one above and checked, and the file is put as PutFile does. failure->path names what was refused
// or failed (a folder on the way or the file).
bool PutFileBelow(const HeldFolder& root,
                  const std::string& relative,
                  const void* bytes,
                  size_t size,
                  PutMode mode,
                  HeldFailure* failure = nullptr,
                  FileBytesWriter writer = nullptr);
