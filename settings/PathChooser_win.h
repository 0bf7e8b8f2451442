#pragma once

#include <windows.h>

#include <string>

// Lets the user pick a path by hand. One chooser at a time, on the user-interface thread.
//
// The choosers are the system's UTF-16 dialogs; the path they give is GBK like every path of the program. A choice
// that GBK cannot spell (a Korean or emoji name) is refused with one error box (caption "错误", owner: owner) and
// the chooser is shown again from where it started, until the user chooses a usable path or cancels.

// With a filter (pairs of description and pattern, each ending in a zero byte, the list in a second one): the
// open-file dialog, starting in the folder given in path; the chosen file must exist. Without a filter: the folder
// browser of ChooseFolder with no suffix. On true path is the chosen path; on false (cancelled) it is empty.
bool ChoosePath(HWND owner, std::string& path, const char* filter);

// The shell's folder browser with an edit box above the tree: path is the first selection and edit text; every
// selected folder is shown in the edit followed by suffix; the edit's text as the user leaves it is the result.
// The typed text is taken as it is, whether or not such a folder exists.
bool ChooseFolder(HWND owner, std::string& path, const std::string& suffix);

// The browser's callback and the procedure that replaces the browse window's own while it is shown.
int CALLBACK FolderBrowseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data);
LRESULT CALLBACK FolderEditProc(HWND browser, UINT message, WPARAM wParam, LPARAM lParam);
