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
void UninstallPack(HWND mainWindow);
