#pragma once

#include <windows.h>

#include <string>

// Opening a web address from the elevated installer. Nothing is started by a bare name: a search by name looks in the
// current folder and the program's folder first, where the download folder may hold a planted "iexplore.exe" that
// would run with administrator rights. Where the system offers it, the address goes to the shell of the player's
// desktop, which runs without administrator rights and opens it in the player's browser; otherwise Internet
// Explorer is started by its full path in the Program Files folder, in the system folder.

// The two ways, each a seam for the tests.
struct BrowserWays {
    // Asks the desktop's shell to open address; false when the system offers no such shell or it refused.
    bool (*throughDesktop)(const std::wstring& address);
    // Starts program (a full path, never searched for) with the command line, in folder; false when it did not start.
    bool (*startProgram)(const std::wstring& program, const std::wstring& commandLine, const std::wstring& folder);
};

// The product's ways: OpenThroughDesktopShell and StartProgramByPath.
BrowserWays SystemBrowserWays();

// Opens a GBK address that IsWebAddress takes (installer/WebAddress.h); anything else does nothing. False when
// nothing was opened.
bool OpenWebAddress(const std::string& address, const BrowserWays& ways = SystemBrowserWays());

// The desktop's shell (IShellWindows' desktop window, its view's IShellDispatch2) runs ShellExecute("open") on
// address, through COM on this thread.
bool OpenThroughDesktopShell(const std::wstring& address);
// CreateProcessW with the program as the application name (no search) and folder as the current folder. A program
// that is not a full path on a drive ("iexplore.exe", ".\iexplore.exe", which the call would complete from the
// current folder) is not started: false.
bool StartProgramByPath(const std::wstring& program, const std::wstring& commandLine, const std::wstring& folder);

// "%ProgramFiles%\Internet Explorer\iexplore.exe" as SHGetFolderPathW(CSIDL_PROGRAM_FILES) names the folder; false
// when the system does not name it.
bool InternetExplorerPath(std::wstring* path);
// The system folder (GetSystemDirectoryW); false when the system does not name it.
bool SystemFolder(std::wstring* path);
