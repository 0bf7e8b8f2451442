#pragma once

#include <windows.h>

#include "installer/Dependencies_win.h"

// The "uninstall" command, on the user-interface thread: after the user's confirmation, checks the game's three
// original files in the package (a missing or damaged one: the user is told and nothing changes), writes them back
// into the folder recorded in "QuorvanInfo" (an absolute path, or nothing is done), and only then deletes the
// resource-installer library and the pack folder, removes "QuorvanInfo" and refreshes the controls. A game file
// that already holds its original bytes is left alone. Nothing is deleted through a link, the pack folder itself
// included. What cannot be deleted or written is named, with its cause where known, in the last box and in a log;
// when a game file could not be written back, the pack stays and "QuorvanInfo" with it, so that the uninstall can
// be run again; "卸载完成!" only when nothing stays.
//
// An installation with a sound install record (installer/InstallRecord.h) is taken back as its record says, not
// from this package's bytes: every replaced file that still holds what the install wrote gets its earlier bytes back
// (the package's original with the recorded digest, or the kept copy); only then do the files the install made go,
// each only while it holds what the install wrote, with what the helper library and the settings dialog wrote at
// their places, the kept copies whose file is back, the mark, the record, and the folders the pack made once they
// are empty. A file changed since the install stays, and so does every file of the player's in the pack folder with
// the folders that hold it; the last box names them. A restore that fails keeps the pack, the record and the mark.
// Every step finds what an earlier run that stopped had done and goes on from there. A damaged record counts as
// none, and the last box and the log say so.
void UninstallPack(HWND mainWindow);
