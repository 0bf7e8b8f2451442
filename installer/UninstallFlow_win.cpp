#include <windows.h>

#include <string>
#include <vector>

#include "Devavi/Win32/InstallKey.h"
#include "Devavi/Win32/RegTable.h"
#include "installer/CommandDispatch.h"
#include "installer/FailureList.h"
#include "installer/FileHelpers.h"
#include "installer/InstallFlow.h"
#include "installer/UninstallFlow.h"
#include "package/Extract.h"
#include "package/PackNames.h"
#include "support/Captions.h"
#include "support/DebugLog.h"
#include "support/MessageSeam.h"
#include "support/Win32Handles.h"

namespace {

const char kConfirmText[] = "是否卸载简体中文汉化包?";
const char kConfirmCaption[] = "卸载确认";
const char kCancelCaption[] = "取消卸载";
const char kNotInstalledText[] = "没有安装真.三国无双3汉化包!";
const char kOpenKeyFailedText[] = "RegOpenKeyEx Failed!";
const char kDoneText[] = "卸载完成!";
const char kFailuresHeading[] = "卸载结束, 但有 %u 项未能完成:";
const char kLogHeading[] = "汉化包卸载中未能完成的项目:";
const char kStillInstalledText[] = "\r\n\r\n被替换的游戏文件没有全部还原, 汉化包仍记为已安装.\r\n请关闭游戏后再次卸载.";

// One uninstall: the game folder it works on and what failed so far.
struct Uninstall {
    std::string folder;
    FailureList failures;
    bool gameFileLeft = false;  // a game file or the library could not be written or deleted: worth a second run

    void Failed(Failure what, const std::string& path) {
        failures.Add(what, RelativeTo(folder, path));
        gDebugLogs[0].Printf("Warning >> uninstall: %s %s (error %lu)\n", FailureText(what), path.c_str(),
                             static_cast<unsigned long>(GetLastError()));
    }
};

bool IsLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void DeleteFiles(Uninstall& run, const std::string& packFolder) {
    std::vector<std::string> files;
    ListFilesRecursive(packFolder.c_str(), files);
    for (const std::string& file : files) {
        if (!DeleteFileA(file.c_str()))
            run.Failed(Failure::kDelete, file);
    }
}

// The list holds the deepest folders first, so each is empty by the time it is removed. A link inside the pack
// folder was not entered; removing it removes the link alone. A folder still holding something that was reported
// already, or a dot folder that the walk leaves alone, stays without a second report.
void DeleteFolders(Uninstall& run, const std::string& packFolder) {
    std::vector<std::string> folders;
    ListDirsRecursive(packFolder.c_str(), folders);
    folders.push_back(packFolder);
    for (const std::string& path : folders) {
        const bool link = IsLink(path);
        if (RemoveDirectoryA(path.c_str()))
            continue;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            continue;
        if (link || error != ERROR_DIR_NOT_EMPTY)
            run.Failed(Failure::kDelete, path);
    }
}

void DeleteLibrary(Uninstall& run) {
    const std::string library = run.folder + kLibraryTarget;
    if (!DeleteFileA(library.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        run.Failed(Failure::kDelete, library);
        run.gameFileLeft = true;
    }
}

// Only checked bytes go over the game's files. A file that could not be written (the game holds it open, the disk
// is full) keeps the install mark, so that the uninstall can be run again.
void RestoreGameFiles(Uninstall& run) {
    MemorySink sink;
    for (const CopyRow& row : kRestoreTable) {
        if (!CopyEntryToFile(row.entry, sink, run.folder, row.target, CopyKind::kGameFile, run.failures) &&
            !run.failures.empty() && run.failures.items().back().what == Failure::kWrite)
            run.gameFileLeft = true;
    }
}

// Removes "QuorvanInfo". False (and the user told) when the install key cannot be opened for writing.
bool RemoveInstallMark() {
    ScopedKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstallKeyPath, 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) {
        ShowMessage(nullptr, kOpenKeyFailedText, kCancelCaption, kMbOk | kMbIconError);
        return false;
    }
    RegDeleteValueA(key.get(), kQuorvanInfoValue);
    return true;
}

// The last box: today's note after a clean run; otherwise what failed, with the whole list in the pack folder.
void ReportEnd(HWND mainWindow, const Uninstall& run) {
    if (run.failures.empty()) {
        ShowMessage(mainWindow, kDoneText, kNoteCaption, kMbOk | kMbIconInformation);
        return;
    }
    const std::string log = run.folder + kUninstallLogName;
    const std::string text = FailureLogText(run.failures, kLogHeading);
    const bool written = WriteFileMakingDirs(text.data(), text.size(), log.c_str());
    std::string summary = FailureSummary(run.failures, kFailuresHeading, log, written);
    if (run.gameFileLeft)
        summary += kStillInstalledText;
    ShowMessage(mainWindow, summary.c_str(), kNoteCaption, kMbOk | kMbIconWarning);
}

}  // namespace

void UninstallPack(HWND mainWindow) {
    if (ShowMessage(mainWindow, kConfirmText, kConfirmCaption, kMbOkCancel | kMbIconQuestion) != kIdOk)
        return;

    // An empty or relative folder would send the deletions somewhere else entirely.
    Uninstall run;
    if (!ReadInstalledFolder(run.folder)) {
        ShowMessage(nullptr, kNotInstalledText, kCancelCaption, kMbOk | kMbIconError);
        return;
    }

    const std::string packFolder = run.folder + "/" + kPackFolder;
    DeleteFiles(run, packFolder);
    DeleteFolders(run, packFolder);
    DeleteLibrary(run);
    RestoreGameFiles(run);

    // Stopping before the mark leaves it, and with it the uninstall control, so the user can run it again.
    if (!run.gameFileLeft && !RemoveInstallMark())
        return;
    ReportEnd(mainWindow, run);
    RefreshControls();
}
