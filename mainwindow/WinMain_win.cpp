#include <windows.h>

#include "installer/CommandDispatch_win.h"
#include "installer/Dependencies_win.h"
#include "mainwindow/MainWindow_win.h"
#include "mainwindow/Startup_win.h"
#include "settings/PathChooser_win.h"
#include "settings/SettingsDialog_win.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"

// The program: the window library, with the installer's flows wired into it and the settings folder's dialogs
// handed to the installer with the rest of its dependencies.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!PrepareProcess()) {
        ShowMessage(nullptr, kUnsafeStartText, kErrorCaption, kMbOk | kMbIconError);
        return 1;
    }
    SingleInstance instanceLock(kInstanceName);
    if (!instanceLock.first()) {
        ShowRunningInstance();
        return 0;
    }
    InstallerDependencies dependencies;
    dependencies.choosePath = ChoosePath;
    dependencies.openSettings = ShowSettingsDialog;
    SetInstallerDependencies(dependencies);
    SetMainWindowHandlers(InstallerWindowHandlers());
    return RunSetup(instance);
}
