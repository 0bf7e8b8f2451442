#include <windows.h>

#include <string>
#include <vector>

#include "Devavi/Win32/InstallKey.h"
#include "Devavi/Win32/RegTable.h"
#include "installer/CommandDispatch.h"
#include "installer/FileHelpers.h"
#include "installer/InstallFlow.h"
#include "installer/UninstallFlow.h"
#include "package/Extract.h"
#include "package/PackNames.h"
#include "support/DebugLog.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"
#include "support/Win32Handles.h"

namespace {

const char kConfirmText[] = "是否卸载简体中文汉化包?";
const char kConfirmCaption[] = "卸载确认";
const char kCancelCaption[] = "取消卸载";
const char kNotInstalledText[] = "没有安装真.三国无双3汉化包!";
const char kOpenKeyFailedText[] = "RegOpenKeyEx Failed!";
const char kDoneText[] = "卸载完成!";

// Nothing is shown for what stays behind; the debug log names it.
void DeleteLeftBehind(const char* what, const std::string& path) {
    gDebugLogs[0].Printf("Warning >> uninstall could not delete %s %s (error %lu)\n", what, path.c_str(),
                         static_cast<unsigned long>(GetLastError()));
}

void DeleteFiles(const std::string& folder) {
    std::vector<std::string> files;
    ListFilesRecursive(folder.c_str(), files);
    for (const std::string& file : files) {
        if (!DeleteFileA(file.c_str()))
            DeleteLeftBehind("file", file);
    }
}

// The list holds the deepest folders first, so each is empty by the time it is removed.
void DeleteFolders(const std::string& folder) {
    std::vector<std::string> folders;
    ListDirsRecursive(folder.c_str(), folders);
    folders.push_back(folder);
    for (const std::string& path : folders) {
        if (!RemoveDirectoryA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
            GetLastError() != ERROR_PATH_NOT_FOUND)
            DeleteLeftBehind("folder", path);
    }
}

void RestoreGameFiles(const std::string& installFolder) {
    MemorySink sink;
    for (const CopyRow& row : kRestoreTable)
        CopyEntryToFile(row.entry, sink, installFolder + row.target);
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

}  // namespace

void UninstallPack(HWND mainWindow) {
    if (ShowMessage(mainWindow, kConfirmText, kConfirmCaption, kMbOkCancel | kMbIconQuestion) != kIdOk)
        return;

    std::string installFolder;
    if (!RegReadString(HKEY_CURRENT_USER, kInstallKeyPath, kQuorvanInfoValue, installFolder)) {
        ShowMessage(nullptr, kNotInstalledText, kCancelCaption, kMbOk | kMbIconError);
        return;
    }

    const std::string packFolder = installFolder + "/" + kPackFolder;
    DeleteFiles(packFolder);
    DeleteFolders(packFolder);
    const std::string library = installFolder + kLibraryTarget;
    if (!DeleteFileA(library.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        DeleteLeftBehind("file", library);
    RestoreGameFiles(installFolder);

    // Stopping here leaves the mark, and with it the uninstall control, so the user can run it again.
    if (!RemoveInstallMark())
        return;
    ShowMessage(mainWindow, kDoneText, kNoteCaption, kMbOk | kMbIconInformation);
    RefreshControls();
}
