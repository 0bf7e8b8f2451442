#pragma once

#include <windows.h>

#include <string>

#include "package/GameNames.h"
#include "settings/SaveNames.h"

// The game's save file while the settings dialog works on it. At most one is open in the whole process, opened for
// reading and update (never created, never truncated) and held until the names are written or the user cancels.
// User-interface thread only.
//
// The program runs with administrator rights, and the documents folder can be written by any program of the player's
// session. So the folder that really holds the save is opened and held (support/HeldFolder_win.h; a documents
// folder or a save folder that the player moved elsewhere with a junction is held where it really is), the save is
// opened relative to it and checked, and everything is done through those two handles: the names are written in place
// through the checked handle, the copy is made as new in the held folder. A save (or an existing copy) that is a
// link, or a file with a second name, is refused with an error box (caption "错误") naming it; nothing is written.

// Where the game keeps its save: the user's documents folder (created if it is missing) + SaveFileTail()
// (package/GameNames.h), in a path buffer of kSavePathSize bytes, terminator included.
inline constexpr size_t kSavePathSize = 512;

// Before the first change to a save file an untouched copy is kept beside it under this suffix; an existing copy
// is never replaced, so it always holds the save as it was before this program first wrote to it. The copy takes
// its name only when it is complete, so one cut short by a crash never stands for the save.
inline constexpr char kSaveBackupSuffix[] = ".bak";

// The largest file taken for a save (the game's own are far smaller): a wrongly chosen film or disc image is
// refused rather than copied. The copy is read in pieces of kSaveCopyPiece bytes and written whole.
inline constexpr long kSaveMaxSize = 64L * 1024 * 1024;
inline constexpr size_t kSaveCopyPiece = 64 * 1024;

// The default path; empty when the documents folder is unknown, has no GBK spelling (the system gives it in UTF-16)
// or the path does not fit the path buffer.
std::string DefaultSaveFilePath(HWND owner);

// Opens the save at the default path or, failing that, one the user picks with the file chooser. A file shorter
// than the two name fields reach or larger than kSaveMaxSize, and a chosen path too long for the path buffer, are
// refused, and so are a documents folder that GBK cannot spell and a save that is a link (an error box, caption
// "错误"; no chooser then).
// Every failure has been shown to the user (owner: the dialog) when it returns false; no file is open then.
bool OpenSaveFile(HWND owner);
bool SaveFileIsOpen();
const std::string& SaveFilePath();  // empty while none is open

// The save's own refusals, checked before anything is made for the names: the file cut short or grown beyond
// kSaveMaxSize since it was opened, and an untouched copy that cannot be kept (it is made now if there is none; a
// copy that is a link is refused, naming it).
// On false the user has been told and no file is open any more; on true the file stays open for WriteSaveNames.
bool PrepareSaveNames(HWND owner);

// Checks as PrepareSaveNames does (again: time has passed), writes both name fields and closes the file. Every step
// is checked; on false the user has been told what failed. Either way no file is open afterwards.
bool WriteSaveNames(HWND owner, const SaveNameBytes& bytes);

// Closes the open file, if any, without writing.
void CloseSaveFile();
