#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "installer/Dependencies_win.h"
#include "installer/FileHelpers.h"
#include "support/HeldFolder_win.h"

// Everything the install and uninstall flows write or delete below the game folder goes through a HeldFolder
// (support/HeldFolder_win.h): the game folder is held for the whole job and every folder and file below it is
// opened relative to the one above and checked, so that a link or a file with a second name put there by another
// program is refused, never written or deleted through. The bytes go through Dependencies().fileWriter; tests put
// a writer there that fails part way, as a full disk does.

// A junction or a symbolic link (a reparse point): what lies behind it is somewhere else.
inline bool IsLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// GetFileAttributesW of a GBK path; INVALID_FILE_ATTRIBUTES for a path that is not GBK, as for one that is missing.
DWORD FileAttributesOf(const std::string& path);

// A name the system gave (UTF-16) as a report or a box shows it: GBK, with "?" for each character that GBK cannot
// spell. "?" is in no file name, so the user sees where such a character stands; the text names no file itself.
std::string ShownName(const std::wstring& name);

// A refused or failed step below a held folder as the flows name it: a junction, a symbolic link and a file with
// another name (a hard link) are all kLink; a file or folder where the other was wanted, a name taken and a bad
// name are kOther.
FileFault FileFaultOf(HeldFault fault);

// Where a write or a deletion below a held folder stopped, and why.
struct Refusal {
    FileFault fault = FileFault::kNone;
    std::string place;  // relative to the held folder: the file itself, or the folder on the way that was refused
};

// Writes (or removes) file after file below one held folder. The folder of the last file stays held for the next one,
// so that the files of one folder (a package's entries come in the order of their names) do not open and check every
// folder on the way again. Not shared between threads.
class WriterBelow {
  public:
    explicit WriterBelow(const HeldFolder& root) : root_(root) {}

    // Puts size bytes in the file at relative ("quorvan\data\x.bin", "/" may separate too) below the root: the
    // folders on the way are opened or made and checked, and the file is replaced whole as HeldFolder::PutFile
    // does (never left cut short, a read-only one too). False with *refusal (when given) filled when anything on
    // the way, or the file, was refused or could not be written; a read-only file whose attribute could not be
    // cleared is kReadOnly.
    bool Put(const std::string& relative, const void* bytes, size_t size, Refusal* refusal = nullptr);
    // Deletes the file at relative below the root as RemoveBelow does; the folders on the way are opened and checked,
    // never made.
    bool Remove(const std::string& relative, Refusal* refusal = nullptr);

  private:
    bool PutThrough(const std::string& relative, const void* bytes, size_t size, HeldFailure* failure);
    // held_ holds folder (relative to the root), opened now (and made, with create) unless it held it already.
    bool Hold(const std::string& folder, bool create, HeldFailure* failure);

    const HeldFolder& root_;
    std::string folderName_;  // the folder of held_, relative to the root, as the last caller spelled it
    HeldFolder held_;
};

// One file put as WriterBelow::Put does.
bool PutBelow(const HeldFolder& root,
              const std::string& relative,
              const void* bytes,
              size_t size,
              Refusal* refusal = nullptr);

// True when the file at relative below root, reached and checked as PutBelow reaches it (nothing is made), holds
// exactly size bytes equal to bytes.
bool HoldsBelow(const HeldFolder& root, const std::string& relative, const void* bytes, size_t size);

// Deletes the file at relative below root through the handle it was checked on. True when it is gone, or was not
// there (its folder missing included); false with *refusal filled when it, or a folder on the way, was refused.
bool RemoveBelow(const HeldFolder& root, const std::string& relative, Refusal* refusal = nullptr);

// Deletes what an interrupted write left in the folder at relative below root ("" for root itself):
// HeldFolder::RemoveLeftovers. True when none stays, or the folder is not there; false with *refusal naming the
// first that stayed.
bool RemoveLeftoversBelow(const HeldFolder& root, const std::string& relative, Refusal* refusal = nullptr);
