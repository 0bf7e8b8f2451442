#include <windows.h>

#include <string>

#include "installer/CommandDispatch_win.h"
#include "installer/Dependencies_win.h"
#include "installer/InstallMark_win.h"
#include "installer/WebAddress_win.h"
#include "support/MessageSeam.h"

namespace {

const char kForceQuitText[] = "解压文件中!!! 请耐心等待...\r\n是否强制推出?";
const char kForceQuitCaption[] = "强制退出确认";

void ShowNote(const LayoutRecord& record, HWND) {
    ShowMessage(nullptr, record.firstArgument.c_str(), record.secondArgument.c_str(), kMbOk);
}

// While the install's worker runs (or its last boxes are shown) the user is asked first; the worker is stopped once
// the message loop has ended.
void Close(const LayoutRecord&, HWND mainWindow) {
    if (gInstallerState.installUnderWay() &&
        ShowMessage(mainWindow, kForceQuitText, kForceQuitCaption, kMbOkCancel | kMbIconError) != kIdOk)
        return;
    PostQuitMessage(0);
}

void Minimize(const LayoutRecord&, HWND mainWindow) {
    ShowWindow(mainWindow, SW_MINIMIZE);
}

// Only an http or https address opens, never through a search by name (installer/WebAddress_win.h); anything else
// (not GBK, a file, a program) does nothing.
void OpenInBrowser(const LayoutRecord& record, HWND) {
    OpenWebAddress(record.firstArgument);
}

// The three jobs on the game folder, one at a time (gInstallerState.phase): a command that arrives during one (a
// press under a box without owner, or queued before the controls went) does nothing.
void OpenSettings(const LayoutRecord&, HWND mainWindow) {
    const JobPhaseGuard job(gInstallerState, JobPhase::kSettings);
    const SettingsOpener open = Dependencies().openSettings;
    if (!job.refused() && open)
        open(mainWindow);
}

void Uninstall(const LayoutRecord&, HWND mainWindow) {
    const JobPhaseGuard job(gInstallerState, JobPhase::kUninstalling);
    if (!job.refused())
        UninstallPack(mainWindow);
}

// The guard covers the install's questions; from the start of its worker the install moves the phase on itself.
void Install(const LayoutRecord&, HWND mainWindow) {
    const JobPhaseGuard job(gInstallerState, JobPhase::kConfirming);
    if (!job.refused())
        InstallPack(mainWindow);
}

struct Command {
    const char* name;
    void (*run)(const LayoutRecord& record, HWND mainWindow);
};

constexpr Command kCommands[] = {
    {"msgbox", ShowNote},     {"minimize", Minimize},    {"close", Close},     {"iejump", OpenInBrowser},
    {"uninstall", Uninstall}, {"setting", OpenSettings}, {"install", Install},
};

bool PackInstalled() {
    std::string folder;
    return ReadInstalledFolder(folder);
}

void StopInstallOnQuit(HWND mainWindow) {
    StopInstallForQuit(mainWindow, kQuitWaitMs);
}

}  // namespace

void DispatchCommand(const LayoutRecord& record, HWND mainWindow) {
    for (const Command& command : kCommands) {
        if (record.command == command.name) {
            command.run(record, mainWindow);
            return;
        }
    }
}

void RefreshControls() {
    MakeTextLabels();
    const bool idle = !gInstallerState.installUnderWay();
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
