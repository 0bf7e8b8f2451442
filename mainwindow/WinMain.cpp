#include <windows.h>

#include "installer/CommandDispatch.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/Startup_win.h"
#include "settings/PathChooser.h"
#include "settings/SettingsDialog.h"

// The program: the window library, with the installer's flows wired into it and the settings folder's dialogs
// wired into the flows.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictLibrarySearch();
    SingleInstance instanceLock(kInstanceName);
    if (!instanceLock.first()) {
        ShowRunningInstance();
        return 0;
    }
    gChoosePath = ChoosePath;
    gOpenSettings = ShowSettingsDialog;
    SetMainWindowHandlers(InstallerWindowHandlers());
    return RunSetup(instance);
}
