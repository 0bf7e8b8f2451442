#pragma once

#include <windows.h>

// The "uninstall" command, on the user-interface thread: after the user's confirmation, deletes the pack folder
// and the resource-installer library from the folder recorded in "QuorvanInfo" (an absolute path, or nothing is
// done), writes the game's own three files back from checked copies in the package, removes "QuorvanInfo" and
// refreshes the controls. Links inside the pack folder are removed as links, never followed. What cannot be
// deleted or written is named in the last box and in a log in the pack folder; when a game file could not be
// written back, "QuorvanInfo" stays so that the uninstall can be run again once the game is closed.
void UninstallPack(HWND mainWindow);
