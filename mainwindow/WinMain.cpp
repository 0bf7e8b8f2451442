#include <windows.h>

#include "installer/CommandDispatch.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/Startup_win.h"

// The program: the window library, with the installer's flows wired into it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictLibrarySearch();
    SingleInstance instanceLock(kInstanceName);
    if (!instanceLock.first()) {
        ShowRunningInstance();
        return 0;
    }
    SetMainWindowHandlers(InstallerWindowHandlers());
    return RunSetup(instance);
}
