#include <windows.h>

#include <string>

#include "Devavi/Win32/InstallKey.h"
#include "Devavi/Win32/RegTable.h"
#include "installer/CommandDispatch_win.h"
#include "installer/Dependencies_win.h"
#include "installer/WebAddress_win.h"
#include "support/MessageSeam.h"

namespace {

const char kForceQuitText[] = "解压文件中!!! 请耐心等待...\r\n是否强制推出?";
const char kForceQuitCaption[] = "强制退出确认";

void ShowNote(const LayoutRecord& record) {
    ShowMessage(nullptr, record.firstArgument.c_str(), record.secondArgument.c_str(), kMbOk);
}

// During an install the user is asked first; the worker is stopped once the message loop has ended.
void Close(HWND mainWindow) {
    if (gInstallerState.extracting &&
        ShowMessage(mainWindow, kForceQuitText, kForceQuitCaption, kMbOkCancel | kMbIconError) != kIdOk)
        return;
    PostQuitMessage(0);
}

// Only an http or https address opens, never through a search by name (installer/WebAddress_win.h); anything else
// (not GBK, a file, a program) does nothing.
void OpenInBrowser(const LayoutRecord& record) {
    OpenWebAddress(record.firstArgument);
}

// True from the confirmation of an install, an uninstall or the settings dialog until its last box: the boxes of
// the package's checks and some of the flows' have no owner, so the main window still takes presses under them.
bool gJobRunning = false;

// One job at a time on the game folder: an install (up to its hand-over to the worker, which the extracting flag
// covers from then until FinishInstall's last box), an uninstall or the settings dialog. A command that arrives
// during one (a press under a box without owner, or queued before the controls went) does nothing.
class JobGuard {
  public:
    JobGuard() : refused_(gJobRunning || gInstallerState.extracting) {
        if (!refused_)
            gJobRunning = true;
    }
    ~JobGuard() {
        if (!refused_)
            gJobRunning = false;
    }
    JobGuard(const JobGuard&) = delete;
    JobGuard& operator=(const JobGuard&) = delete;
    bool refused() const { return refused_; }

  private:
    bool refused_;
};

void OpenSettings(HWND mainWindow) {
    JobGuard job;
    const SettingsOpener open = Dependencies().openSettings;
    if (!job.refused() && open)
        open(mainWindow);
}

void Uninstall(HWND mainWindow) {
    JobGuard job;
    if (!job.refused())
        UninstallPack(mainWindow);
}

void Install(HWND mainWindow) {
    JobGuard job;
    if (!job.refused())
        InstallPack(mainWindow);
}

bool PackInstalled() {
    std::string folder;
    return ReadInstalledFolder(folder);
}

void StopInstallOnQuit(HWND mainWindow) {
    StopInstallForQuit(mainWindow, kQuitWaitMs);
}

}  // namespace

void DispatchCommand(const LayoutRecord& record, HWND mainWindow) {
    const std::string& command = record.command;
    if (command == "msgbox")
        ShowNote(record);
    else if (command == "minimize")
        ShowWindow(mainWindow, SW_MINIMIZE);
    else if (command == "close")
        Close(mainWindow);
    else if (command == "iejump")
        OpenInBrowser(record);
    else if (command == "uninstall")
        Uninstall(mainWindow);
    else if (command == "setting")
        OpenSettings(mainWindow);
    else if (command == "install")
        Install(mainWindow);
}

void RefreshControls() {
    MakeTextLabels();
    const bool idle = !gInstallerState.extracting;
    ShowCommandControls("uninstall", idle && PackInstalled());
    ShowCommandControls("install", idle && !PackInstalled());
}

MainWindowHandlers InstallerWindowHandlers() {
    MainWindowHandlers handlers;
    handlers.command = DispatchCommand;
    handlers.installDone = FinishInstall;
    handlers.installProgress = ShowInstallProgress;
    handlers.controlsCreated = RefreshControls;
    handlers.loopEnded = StopInstallOnQuit;
    return handlers;
}
