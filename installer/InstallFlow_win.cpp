#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Devavi/Win32/InstallKey.h"
#include "Devavi/Win32/RegTable.h"
#include "installer/CommandDispatch.h"
#include "installer/FileHelpers.h"
#include "installer/InstallFlow.h"
#include "installer/ResourceLibrary.h"
#include "package/Extract.h"
#include "package/PackNames.h"
#include "settings/PathChooser.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"

InstallerState gInstallerState;
InstallWorker gInstallWorker;
FreeSpaceQuery gFreeSpaceQuery = QueryFreeSpace;
PathChooser gChoosePath = ChoosePath;

namespace {

const char kGameExecutable[] = "\\Shin Sangokumusou 3.exe";
// Description and pattern, each ending in a zero byte; the literal's own terminator ends the list.
const char kGameFilter[] = "Shin Sangokumusou 3.exe\0Shin Sangokumusou 3.exe\0";
const char kCopyingText[] = "Copying...";

const char kCancelCaption[] = "取消安装";
const char kGameNotFoundText[] = "请手工指定安装目录!";
const char kGameNotFoundCaption[] = "未找到真.三国无双3安装目录";
const char kNoGameChosenText[] = "必须制定真.三国无双3安装目录!";
const char kTooLittleSpaceText[] = "汉化包安装至少需要300M硬盘空间才能安装!";
const char kFolderTooLongText[] = "安装目录的路径超过255字节, 无法安装!";
const char kConfirmCaption[] = "安装确认";
const char kConfirmTemplate[] =
    "简体汉化包占用硬盘空间: 250M\r\n"
    "安装目录: %s (磁盘剩余空间: %d M)\r\n"
    "\r\n"
    "注意:\r\n"
    "1. 本安装包含完整汉化，不要和其他汉化包混用，否则会有兼容性问题.\r\n"
    "2. 兼容官方1.01升级补丁(2005/05/19, 先安装升级补丁).\r\n"
    "3. 安装前请关闭游戏; 卸载汉化包时会还原被替换的游戏文件.\r\n"
    "4. 解压会用较长时间，请耐心等待.\r\n"
    "\r\n"
    "是否开始安装?";
const char kNoWorkerText[] = "无法启动安装线程, 安装未能完成!";
const char kSkippedNamesText[] = "安装包中有 %u 个文件的名称指向安装目录之外, 这些文件没有安装.";
const char kDoneText[] = "安装成功结束!";

constexpr uint32_t kRequiredKilobytes = 300 * 1024;
constexpr DWORD kExitWaitMs = 10000;
constexpr size_t kConfirmTextSize = 2048;

void ShowError(HWND owner, const char* text, const char* caption) {
    ShowMessage(owner, text, caption, kMbOk | kMbIconError);
}

bool FileExists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

// The game's executable where the game's own setup says it is, or empty.
std::string GameFromRegistry() {
    std::string folder;
    if (!RegReadString(HKEY_CURRENT_USER, kInstallKeyPath, kInstallInfoValue, folder))
        return std::string();
    std::string path = folder + kGameExecutable;
    return FileExists(path) ? path : std::string();
}

// Lets the user point at the game's executable. False (the user has been told) when nothing was chosen.
bool AskForGame(HWND mainWindow, std::string& gamePath) {
    ShowMessage(mainWindow, kGameNotFoundText, kGameNotFoundCaption, kMbOk | kMbIconWarning);
    gamePath.clear();
    if (!gChoosePath(mainWindow, gamePath, kGameFilter) || gamePath.empty()) {
        ShowError(mainWindow, kNoGameChosenText, kCancelCaption);
        return false;
    }
    return true;
}

// Kilobytes available to the user on the game's drive. A count beyond 32 bits stays at the largest one rather
// than wrapping round to a small number; a drive that cannot be asked counts as full.
uint32_t AvailableKilobytes(const std::string& gamePath) {
    const char drive[] = {gamePath[0], ':', '\0'};
    uint64_t bytes = 0;
    if (!gFreeSpaceQuery(drive, &bytes))
        return 0;
    const uint64_t kilobytes = bytes >> 10;
    return kilobytes > UINT32_MAX ? UINT32_MAX : uint32_t(kilobytes);
}

bool Confirmed(HWND mainWindow, const std::string& installFolder, uint32_t kilobytes) {
    char text[kConfirmTextSize];
    std::snprintf(text, sizeof text, kConfirmTemplate, installFolder.c_str(), int(kilobytes >> 10));
    return ShowMessage(mainWindow, text, kConfirmCaption, kMbOkCancel | kMbIconQuestion) == kIdOk;
}

// Steps on the user-interface thread after the user's OK: the configuration program and the library, then the
// worker takes over.
void BeginInstall(HWND mainWindow, const std::string& installFolder) {
    gInstallerState.mainWindow = mainWindow;
    gInstallerState.installFolder = installFolder;
    gInstallerState.extracting = true;
    RefreshControls();
    {
        MemorySink sink;
        CopyEntryToFile(kConfigEntry, sink, installFolder + kConfigTarget);
        CopyEntryToFile(kLibraryEntry, sink, installFolder + kLibraryTarget);
    }
    if (!gInstallWorker.Begin(installFolder, mainWindow, StatusControl())) {
        ShowError(mainWindow, kNoWorkerText, kErrorCaption);
        gInstallerState.extracting = false;
        RefreshControls();
    }
}

// Runs before the destructors of every global built before the worker's first start, the package index and the
// layout table among them.
void StopInstallAtExit() {
    gInstallWorker.StopAndWait(kExitWaitMs);
}

void ReportSkippedNames(HWND owner, size_t count) {
    if (count == 0)
        return;
    char text[256];
    std::snprintf(text, sizeof text, kSkippedNamesText, unsigned(count));
    ShowError(owner, text, kErrorCaption);
}

}  // namespace

void CopyEntryToFile(const char* entry, MemorySink& sink, const std::string& target) {
    if (ExtractByName(entry, sink))
        WriteFileMakingDirs(sink.data, sink.size, target.c_str());
    // Freed now rather than on the next delivery, so that one entry's buffers never meet the next one's.
    sink.Release();
}

bool QueryFreeSpace(const char* drive, uint64_t* bytesAvailable) {
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (!GetDiskFreeSpaceExA(drive, &available, &total, &free))
        return false;
    *bytesAvailable = available.QuadPart;
    return true;
}

void InstallPack(HWND mainWindow) {
    std::string gamePath = GameFromRegistry();
    if (gamePath.empty() && !AskForGame(mainWindow, gamePath))
        return;

    const uint32_t kilobytes = AvailableKilobytes(gamePath);
    if (kilobytes < kRequiredKilobytes) {
        ShowError(mainWindow, kTooLittleSpaceText, kCancelCaption);
        return;
    }

    const char* folder = DirPartOf(gamePath.c_str());
    if (!folder) {
        ShowError(mainWindow, kFolderTooLongText, kCancelCaption);
        return;
    }
    const std::string installFolder = folder;

    if (Confirmed(mainWindow, installFolder, kilobytes))
        BeginInstall(mainWindow, installFolder);
}

bool InstallWorker::Begin(const std::string& installFolder, HWND mainWindow, LayoutRecord* status) {
    if (IsBusy())
        return false;
    static const bool stopAtExit = std::atexit(StopInstallAtExit) == 0;
    (void)stopAtExit;
    stopping_ = false;
    installFolder_ = installFolder;
    mainWindow_ = mainWindow;
    statusWindow_ = status ? status->window : nullptr;
    statusText_ = status ? status->text : spareText_;
    spareText_[0] = '\0';
    skippedNames_ = 0;
    return Start();
}

void InstallWorker::StopAndWait(DWORD timeoutMs) {
    stopping_ = true;
    for (DWORD waited = 0; IsBusy() && waited < timeoutMs; waited += 10) {
        // A repaint the job asked for from this thread is answered; posted messages stay where they are.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        Sleep(10);
    }
}

void InstallWorker::SetStatus(const char* text) {
    std::snprintf(statusText_, kLayoutTextSize, "%s", text);
    if (statusWindow_) {
        InvalidateRect(statusWindow_, nullptr, FALSE);
        UpdateWindow(statusWindow_);
    }
}

// Every entry under the pack folder, in the index's order, with the sub-folders its name implies. Whatever an
// extraction delivered is written: a failed check has been shown already.
void InstallWorker::UnpackPackFolder() {
    for (const auto& item : gPackageIndex) {
        if (stopping_)
            return;
        const PackageEntry& entry = item.second;
        if (entry.name.compare(0, sizeof kPackFolder - 1, kPackFolder) != 0)
            continue;
        if (!IsContainedName(entry.name.c_str())) {
            ++skippedNames_;
            continue;
        }
        MemorySink sink;
        if (ExtractEntry(entry, sink))
            WriteFileMakingDirs(sink.data, sink.size, (installFolder_ + "\\" + entry.name).c_str());
    }
}

void InstallWorker::Run() {
    SetStatus(kCopyingText);
    UnpackPackFolder();
    if (stopping_)
        return;  // the process is ending: the window that would be handed back to is gone
    // A library that is missing or lacks its export has been reported; the installation is completed without it.
    CallResourceInstall((installFolder_ + kLibraryTarget).c_str(), statusWindow_, statusText_);
    // The library may have queued a repaint of its last text; the second clear covers one that lands in between.
    SetStatus("");
    SetStatus("");
    SendMessageA(mainWindow_, kInstallDoneMessage, 0, 0);
}

void FinishInstall(HWND window, UINT message, WPARAM, LPARAM) {
    if (message != kInstallDoneMessage || !gInstallerState.extracting)
        return;
    const std::string& folder = gInstallerState.installFolder;
    RegWriteString(HKEY_CURRENT_USER, kInstallKeyPath, kQuorvanInfoValue, folder.c_str());
    {
        MemorySink sink;
        for (const CopyRow& row : kCopyTable)
            CopyEntryToFile(row.entry, sink, folder + row.target);
    }
    ReportSkippedNames(window, gInstallWorker.skippedNames());
    ShowMessage(window, kDoneText, kNoteCaption, kMbOk | kMbIconInformation);
    gInstallerState.extracting = false;
    RefreshControls();
}
