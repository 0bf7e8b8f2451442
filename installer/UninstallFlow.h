#pragma once

#include <windows.h>

// The "uninstall" command, on the user-interface thread: after the user's confirmation, deletes the pack folder
// and the resource-installer library from the folder recorded in "QuorvanInfo", writes the game's own three files
// back from the package, removes "QuorvanInfo" and refreshes the controls. Files and folders that cannot be
// deleted stay where they are; they are named in the first debug log.
void UninstallPack(HWND mainWindow);
