#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "installer/CommandDispatch_win.h"
#include "installer/FailureReport_win.h"
#include "installer/FileHelpers.h"
#include "installer/FileWrite_win.h"
#include "installer/InstallFlow_win.h"
#include "installer/InstallMark_win.h"
#include "installer/InstallRecord_win.h"
#include "installer/ResourceLibrary_win.h"
#include "mainwindow/ProgramMessages.h"
#include "package/Extract.h"
#include "package/PackNames.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"
#include "support/StdioFile.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

namespace {

// Hashes the unpacked bytes of entries on a thread of its own while the worker reads and checks the next ones, so
// that the record's digests add little to the check on a machine with two processors. Up to kSlots buffers wait
// for it at once, which evens out entries of very different sizes; Hash waits only while all slots are taken. A
// buffer handed over is hashed once kSlots more have been handed over after it, or once Wait has returned.
class BackgroundDigest : public WorkerThread {
  public:
    static constexpr int kSlots = 3;

    BackgroundDigest() : queued_(NewSemaphore(0)), free_(NewSemaphore(kSlots)) {}
    ~BackgroundDigest() override { Stop(); }

    // Starts the thread; false (hash on the caller's thread then) when it cannot be made.
    bool Begin() {
        started_ = queued_.valid() && free_.valid() && Start();
        return started_;
    }
    // *md5 gets the digest of size bytes at bytes; both must stay as they are until the buffer is hashed.
    void Hash(const unsigned char* bytes, size_t size, std::string* md5) {
        WaitForSingleObject(free_.get(), INFINITE);
        jobs_[tail_] = Job{bytes, size, md5};
        tail_ = (tail_ + 1) % kSlots;
        ReleaseSemaphore(queued_.get(), 1, nullptr);
    }
    // Until every buffer handed over is hashed.
    void Wait() {
        if (!started_)
            return;
        for (int i = 0; i < kSlots; ++i)
            WaitForSingleObject(free_.get(), INFINITE);
        ReleaseSemaphore(free_.get(), kSlots, nullptr);
    }
    void Run() override {
        for (;;) {
            WaitForSingleObject(queued_.get(), INFINITE);
            if (stopping_)
                return;
            const Job& job = jobs_[head_];
            *job.md5 = Md5Hex(job.bytes, job.size);
            head_ = (head_ + 1) % kSlots;
            ReleaseSemaphore(free_.get(), 1, nullptr);
        }
    }

  private:
    struct Job {
        const unsigned char* bytes = nullptr;
        size_t size = 0;
        std::string* md5 = nullptr;
    };

    static HANDLE NewSemaphore(LONG count) {
        const HANDLE semaphore = CreateSemaphoreW(nullptr, count, kSlots, nullptr);
        return semaphore ? semaphore : INVALID_HANDLE_VALUE;
    }
    void Stop() {
        if (!started_)
            return;
        Wait();
        stopping_ = true;
        ReleaseSemaphore(queued_.get(), 1, nullptr);
        while (IsBusy())
            Sleep(1);
        started_ = false;
    }

    ScopedFileHandle queued_;  // counts the buffers handed over and not yet taken by the thread
    ScopedFileHandle free_;    // counts the slots free for another buffer
    Job jobs_[kSlots];
    int head_ = 0;  // the thread's next job
    int tail_ = 0;  // where the next buffer handed over goes
    bool started_ = false;
    std::atomic<bool> stopping_{false};
};

}  // namespace

InstallerState gInstallerState;
InstallWorker gInstallWorker;

const char kInstallLogName[] = "\\quorvan\\install-errors.txt";
const char kUninstallLogName[] = "\\quorvan\\uninstall-errors.txt";

namespace {

const char kGameExecutable[] = "\\Shin Sangokumusou 3.exe";
// Description and pattern, each ending in a zero byte; the literal's own terminator ends the list.
const char kGameFilter[] = "Shin Sangokumusou 3.exe\0Shin Sangokumusou 3.exe\0";
const char kCopyingText[] = "Copying...";
const char kCopyingShareFormat[] = "%s %u%%";  // kCopyingText and the unpack's share: "Copying... 37%"

const char kCancelCaption[] = "取消安装";
const char kGameNotFoundText[] = "请手工指定安装目录!";
const char kGameNotFoundCaption[] = "未找到真.三国无双3安装目录";
const char kNoGameChosenText[] = "必须制定真.三国无双3安装目录!";
const char kTooLittleSpaceText[] = "汉化包安装至少需要300M硬盘空间才能安装!";
const char kFolderTooLongText[] = "安装目录的路径超过255字节, 无法安装!";
const char kNoFullPathText[] = "无法确定游戏所在目录的完整路径, 无法安装!";
const char kFolderNotGbkText[] = "注册表中记录的游戏目录含有安装程序无法使用的字符(下面以?表示), 无法安装:\r\n";
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
const char kFailuresHeading[] = "安装结束, 但有 %u 项未能完成:";
const char kLogHeading[] = "汉化包安装中未能完成的项目:";
// Before the mark nothing has changed, and the install is offered again; after it the uninstall is.
const char kNotFinishedText[] = "安装没有完成: 安装程序在解压时被关闭.\r\n请再次运行安装程序完成安装.";
const char kNotFinishedChangedText[] =
    "安装没有完成: 安装程序在解压时被关闭.\r\n请再次运行安装程序并选择卸载, 被替换的游戏文件会被还原.";
const char kNoMarkText[] = "无法在注册表中记录汉化包的安装, 安装已取消.\r\n游戏文件没有改动.";
const char kDamagedHeading[] = "安装程序已损坏: 有 %u 个文件没有通过校验:";
const char kDamagedAdvice[] = "请重新下载安装程序. 游戏文件没有改动, 汉化包没有安装.";
const char kRefusedBeforeStartText[] = "安装已取消, 游戏文件没有改动:\r\n    %s: %s";
const char kOtherVersionHead[] = "以下游戏文件既不是汉化包所针对的游戏原文件, 也不是汉化后的文件:\r\n";
const char kOtherVersionTail[] =
    "\r\n汉化包是为另一个版本的游戏制作的(或者这些文件已被其他汉化包或修改改动).\r\n"
    "继续安装时, 这些文件会先备份到汉化包文件夹中, 卸载时还原.\r\n"
    "\r\n"
    "是否继续安装?";
const char kNoRecordText[] = "无法在汉化包文件夹中写入安装记录或备份游戏文件, 安装已取消.\r\n游戏文件没有改动.";

constexpr uint32_t kRequiredKilobytes = 300 * 1024;
constexpr size_t kConfirmTextSize = 2048;
constexpr UINT kExitQuitDuringInstall = 0;
constexpr int kMaxMessagesPerWait = 100;  // a window that never validates cannot hold the wait

void ShowError(HWND owner, const char* text, const char* caption) {
    ShowMessage(owner, text, caption, kMbOk | kMbIconError);
}

bool FileExists(const std::string& path) {
    const DWORD attributes = FileAttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The game's executable where the game's own setup says it is, in gamePath, or gamePath empty. A folder whose name
// GBK cannot spell is refused with a box that shows it: false, and the install ends with nothing changed.
bool GameFromRegistry(HWND mainWindow, std::string& gamePath) {
    gamePath.clear();
    std::string folder;
    std::wstring given;
    const RegRead read = ReadGameFolder(folder, &given);
    if (read == RegRead::kNotGbk) {
        ShowError(mainWindow, (kFolderNotGbkText + ShownName(given)).c_str(), kErrorCaption);
        return false;
    }
    if (read == RegRead::kRead && FileExists(folder + kGameExecutable))
        gamePath = folder + kGameExecutable;
    return true;
}

// Lets the user point at the game's executable. False (the user has been told) when nothing was chosen.
bool AskForGame(HWND mainWindow, std::string& gamePath) {
    ShowMessage(mainWindow, kGameNotFoundText, kGameNotFoundCaption, kMbOk | kMbIconWarning);
    gamePath.clear();
    const PathChooser choose = Dependencies().choosePath;
    if (!choose || !choose(mainWindow, gamePath, kGameFilter) || gamePath.empty()) {
        ShowError(mainWindow, kNoGameChosenText, kCancelCaption);
        return false;
    }
    return true;
}

// A relative path as the system resolves it now, against the current folder; false when it cannot. An absolute
// path is kept as it is (its length may already exceed what the resolver takes).
bool MakeAbsolute(std::string& path) {
    if (IsAbsolutePath(path.c_str()))
        return true;
    std::wstring wide;
    if (!WideFromGbk(path, &wide) || wide.empty())
        return false;
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
    std::string resolved;  // the current folder may have a name that GBK cannot spell
    if (length == 0 || length >= MAX_PATH || !GbkFromWide(full, length, &resolved) || !IsAbsolutePath(resolved.c_str()))
        return false;
    path = resolved;
    return true;
}

// Kilobytes available to the user on the volume of the install folder. A count beyond 32 bits stays at the
// largest one rather than wrapping round to a small number; a volume that cannot be asked counts as full.
uint32_t AvailableKilobytes(const std::string& installFolder) {
    const std::string folder = installFolder + "\\";
    uint64_t bytes = 0;
    if (!Dependencies().freeSpace(folder.c_str(), &bytes))
        return 0;
    const uint64_t kilobytes = bytes >> 10;
    return kilobytes > UINT32_MAX ? UINT32_MAX : uint32_t(kilobytes);
}

bool Confirmed(HWND mainWindow, const std::string& installFolder, uint32_t kilobytes) {
    char text[kConfirmTextSize];
    std::snprintf(text, sizeof text, kConfirmTemplate, FolderForDisplay(installFolder).c_str(), int(kilobytes >> 10));
    return ShowMessage(mainWindow, text, kConfirmCaption, kMbOkCancel | kMbIconQuestion) == kIdOk;
}

std::string WithoutLeadingSeparator(const char* target) {
    return (target[0] == '\\' || target[0] == '/') ? std::string(target + 1) : std::string(target);
}

void ReleaseFolders() {
    gInstallerState.packFolder = HeldFolder();
    gInstallerState.gameFolder = HeldFolder();
}

// Holds the game folder for the whole install, and the pack folder when it is there already, checked as everything
// below the game folder is. False, with the user told and nothing changed, when either is refused: the install does
// not start.
bool HoldFolders(HWND mainWindow, const std::string& installFolder) {
    InstallerState& state = gInstallerState;
    HeldFailure failure;
    std::string refused;
    if (!state.gameFolder.Open(installFolder, &failure))
        refused = FolderForDisplay(installFolder);
    else if (!state.gameFolder.OpenFolder(kPackFolder, false, &state.packFolder, &failure) &&
             failure.fault != HeldFault::kMissing)
        refused = kPackFolder;
    if (refused.empty())
        return true;
    ReleaseFolders();
    char text[kConfirmTextSize];
    std::snprintf(text, sizeof text, kRefusedBeforeStartText, FailureText(WriteFailure(FileFaultOf(failure.fault))),
                  refused.c_str());
    ShowError(mainWindow, text, kErrorCaption);
    return false;
}

// The user's OK: the worker checks the package first; nothing is written before it hands back.
void BeginInstall(HWND mainWindow, const std::string& installFolder) {
    if (!HoldFolders(mainWindow, installFolder))
        return;
    gInstallerState.mainWindow = mainWindow;
    gInstallerState.installFolder = installFolder;
    gInstallerState.phase = JobPhase::kChecking;
    gInstallerState.extracting = true;
    gInstallerState.marked = false;
    gInstallerState.failures.Clear();
    RefreshControls();
    if (!gInstallWorker.Begin(installFolder, gInstallerState.gameFolder, mainWindow, StatusTargetOfLayout(),
                              gPackageIndex)) {
        ShowError(mainWindow, kNoWorkerText, kErrorCaption);
        ReleaseFolders();
        gInstallerState.phase = JobPhase::kNone;
        gInstallerState.extracting = false;
        RefreshControls();
    }
}

// An install that ends before its last step; what it wrote, if anything, is left to the uninstall.
void EndInstall() {
    gInstallerState.failures.Clear();
    ReleaseFolders();
    gInstallerState.phase = JobPhase::kNone;
    gInstallerState.extracting = false;
    gInstallerState.taskbar.reset();
    RefreshControls();
}

// The player's answer when game files hold bytes of another version: true for "是". "否", the default, changes
// nothing.
bool AnotherVersionAccepted(HWND mainWindow, const std::vector<std::string>& places) {
    std::string text = kOtherVersionHead;
    for (const std::string& place : places)
        text += "    " + place + "\r\n";
    text += kOtherVersionTail;
    return ShowMessage(mainWindow, text.c_str(), kConfirmCaption, kMbYesNo | kMbIconWarning | kMbDefButton2) == kIdYes;
}

// Copies the earlier bytes of every file the record keeps into the pack folder, each checked there by its digest
// after the copy. False when one could not be read as the check saw it, or its copy does not hold it.
bool KeepEarlierBytes(const HeldFolder& game, const InstallRecord& record) {
    ReaderBelow reader(game);
    for (const RecordEntry& entry : record.entries) {
        if (entry.before != BeforeKind::kKept)
            continue;
        std::string bytes;
        if (!reader.Read(entry.path, &bytes) || bytes.size() != entry.beforeSize ||
            Md5Hex(bytes.data(), bytes.size()) != entry.beforeMd5 ||
            !PutFileBelow(game, entry.kept, bytes.data(), bytes.size(), PutMode::kReplace))
            return false;
        ReaderBelow check(game);
        if (!Holds(check.StateOf(entry.kept), entry.beforeSize, entry.beforeMd5))
            return false;
    }
    return true;
}

// Removes the record and the kept copies of an install that ends before its first change, with the folders made
// for them when nothing else is in them.
void TakeBackRecord(const HeldFolder& game, const InstallRecord& record) {
    std::vector<std::string> paths{kInstallRecordName};
    for (const RecordEntry& entry : record.entries) {
        if (entry.before == BeforeKind::kKept)
            paths.push_back(entry.kept);
    }
    for (const std::string& path : paths)
        RemoveBelow(game, path);
    RemoveEmptyFoldersBelow(game, PackFoldersOf(paths));
}

// A refused write, named once: a folder refused on the way to many files stands for all of them.
void AddRefusal(FailureList& failures, const Refusal& refusal) {
    failures.AddOnce(WriteFailure(refusal.fault), refusal.place);
}

// Extracts a package entry by name from index, read as options say, and writes it to target below the held folder;
// every failure is added to failures, named by target (or by the folder on the way that was refused, once). A file of
// the pack's own folder keeps the old rule: its bytes are written even after a failed check (which is noted). One of
// the game's own files is replaced only by checked bytes. The sink holds what was extracted until the caller frees
// it. True when the file now holds the entry's checked bytes.
bool CopyEntryToFile(const PackageIndex& index,
                     const ExtractOptions& options,
                     const char* entry,
                     MemorySink& sink,
                     const HeldFolder& folder,
                     const char* target,
                     FailureList& failures) {
    const std::string name = WithoutLeadingSeparator(target);
    ExtractReport report;
    Refusal refusal;
    bool copied = false;
    if (!ExtractByName(index, entry, sink, &report, options)) {
        // Not in the package (reported already), or no memory for it.
        failures.Add(FindEntry(index, entry) ? Failure::kWrite : Failure::kMissing, name);
    } else if (!IsPackTarget(target)) {
        if (!report.clean())
            failures.Add(Failure::kCheckedKept, name);
        else if (!(copied = PutBelow(folder, name, sink.data, sink.size, &refusal)))
            AddRefusal(failures, refusal);
    } else {
        if (!PutBelow(folder, name, sink.data, sink.size, &refusal))
            AddRefusal(failures, refusal);
        else if (!report.clean())
            failures.Add(Failure::kChecked, name);
        else
            copied = true;
    }
    return copied;
}

// Records the installation, then the first changes to the game folder: the configuration program and the library.
// The library is written from checked bytes or not at all, and only a library written now is called: an older one
// left in the folder is never loaded. A mark that cannot be written (or read back as the uninstall will read it)
// ends the install before anything is changed.
void MarkAndBeginWriting(HWND mainWindow) {
    if (gInstallWorker.stopRequested())
        return;  // the user is quitting: the run ends without a change
    const std::string& folder = gInstallerState.installFolder;
    const HeldFolder& game = gInstallerState.gameFolder;
    const bool recorded = Dependencies().installRecord;
    if (!gInstallWorker.otherVersion().empty() && !AnotherVersionAccepted(mainWindow, gInstallWorker.otherVersion())) {
        EndInstall();
        return;
    }
    if (recorded &&
        (!PutRecordBelow(game, gInstallWorker.record()) || !KeepEarlierBytes(game, gInstallWorker.record()))) {
        TakeBackRecord(game, gInstallWorker.record());
        ShowError(mainWindow, kNoRecordText, kCancelCaption);
        EndInstall();
        return;
    }
    if (!WriteInstallMark(folder)) {
        if (recorded)
            TakeBackRecord(game, gInstallWorker.record());
        ShowError(mainWindow, kNoMarkText, kCancelCaption);
        EndInstall();
        return;
    }
    gInstallerState.marked = true;
    gInstallerState.phase = JobPhase::kUnpacking;
    FailureList& failures = gInstallerState.failures;
    const PackageIndex& index = gInstallWorker.index();
    const ExtractOptions& read = gInstallWorker.readOptions();
    MemorySink sink;
    CopyEntryToFile(index, read, kConfigEntry, sink, game, kConfigTarget, failures);
    sink.Release();
    // The library's bytes stay with the worker: the library is loaded only when its file still holds them.
    MemorySink& library = gInstallWorker.library();
    const bool libraryReady = CopyEntryToFile(index, read, kLibraryEntry, library, game, kLibraryTarget, failures);
    if (!libraryReady)
        library.Release();
    gInstallWorker.Proceed(libraryReady);
}

// The package file of index, or null when the index is empty.
const char* PackagePath(const PackageIndex& index) {
    return index.empty() ? nullptr : index.begin()->second.packagePath.c_str();
}

// The package file, open for reading while nobody may write it: what the check saw is what the unpack reads.
HANDLE HoldPackage(const PackageIndex& index) {
    std::wstring path;
    if (!PackagePath(index) || !WideFromGbk(PackagePath(index), &path) || path.empty())
        return INVALID_HANDLE_VALUE;
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

void ReportSkippedNames(HWND owner, size_t count) {
    if (count == 0)
        return;
    char text[256];
    std::snprintf(text, sizeof text, kSkippedNamesText, unsigned(count));
    ShowError(owner, text, kErrorCaption);
}

// The last box of an install: today's note after a clean run; otherwise what failed, with the whole list in the
// pack folder's log. A log of an earlier run is removed after a clean one; one that is a link is left, and named.
void ReportEnd(HWND owner, const std::string& folder, const HeldFolder& game, FailureList failures) {
    const std::string logBelow = kInstallLogName + 1;
    Refusal refusal;
    if (failures.empty() && !RemoveBelow(game, logBelow, &refusal))
        failures.Add(RemoveFailure(refusal.fault), refusal.place);
    ShowEndReport(owner, game, folder, logBelow, failures, {kDoneText, kFailuresHeading, kLogHeading, ""});
}

}  // namespace

bool IsPackTarget(const char* target) {
    const size_t length = sizeof kPackFolder - 1;
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    return target && separator(target[0]) && std::strncmp(target + 1, kPackFolder, length) == 0 &&
           separator(target[1 + length]);
}

void InstallPack(HWND mainWindow) {
    std::string gamePath;
    if (!GameFromRegistry(mainWindow, gamePath))
        return;
    if (gamePath.empty() && !AskForGame(mainWindow, gamePath))
        return;
    if (!MakeAbsolute(gamePath)) {
        ShowError(mainWindow, kNoFullPathText, kCancelCaption);
        return;
    }

    const char* folder = DirPartOf(gamePath.c_str());
    std::string installFolder = folder ? folder : "";
    NormaliseInstalledFolder(installFolder);  // "G:\\game.exe" gives "G:\", the drive's root, kept as "G:"
    const uint32_t kilobytes = AvailableKilobytes(installFolder);
    if (kilobytes < kRequiredKilobytes) {
        ShowError(mainWindow, kTooLittleSpaceText, kCancelCaption);
        return;
    }
    if (!folder) {
        ShowError(mainWindow, kFolderTooLongText, kCancelCaption);
        return;
    }

    if (Confirmed(mainWindow, installFolder, kilobytes))
        BeginInstall(mainWindow, installFolder);
}

std::vector<const PackageEntry*> EntriesToWrite(const PackageIndex& index) {
    std::vector<const PackageEntry*> entries;
    auto add = [&entries, &index](const char* name) {
        if (const PackageEntry* entry = FindEntry(index, name))
            entries.push_back(entry);
    };
    add(kConfigEntry);
    add(kLibraryEntry);
    for (const auto& item : index) {
        if (IsPackEntryName(item.first) && IsSafeEntryName(item.first))
            entries.push_back(&item.second);
    }
    for (const CopyRow& row : kCopyTable)
        add(row.entry);
    return entries;
}

bool InstallWorker::Begin(const std::string& installFolder,
                          const HeldFolder& gameFolder,
                          HWND mainWindow,
                          const StatusTarget& status,
                          const PackageIndex& index) {
    if (IsBusy())
        return false;
    stopping_ = false;
    proceed_ = false;
    phase_ = Phase::kChecking;
    damaged_.clear();
    record_.entries.clear();
    otherVersion_.clear();
    installFolder_ = installFolder;
    gameFolder_ = &gameFolder;
    index_ = &index;
    mainWindow_ = mainWindow;
    statusWindow_ = status.window;
    statusText_ = status.text ? status.text : spareText_;
    spareText_[0] = '\0';
    libraryReady_ = false;
    skippedNames_ = 0;
    failures_.Clear();
    return Start();
}

bool InstallWorker::WaitUntilIdle(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (IsBusy()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE | QS_PAINT);
        // Sent messages are answered inside PeekMessage; repaints are dispatched. Posted input stays queued.
        MSG message;
        for (int i = 0; i < kMaxMessagesPerWait &&
                        PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE);
             ++i)
            DispatchMessageW(&message);
    }
    return true;
}

void InstallWorker::ShowProgress(UnpackProgress& progress) {
    if (!Dependencies().showUnpackProgress || !progress.Due(GetTickCount()))
        return;
    const unsigned percent = progress.percent();
    char text[kLayoutTextSize];
    std::snprintf(text, sizeof text, kCopyingShareFormat, kCopyingText, percent);
    SetStatus(text);
    if (mainWindow_)
        PostMessageW(mainWindow_, kInstallProgressMessage, percent, 0);
}

void InstallWorker::SetStatus(const char* text) {
    std::snprintf(statusText_, kLayoutTextSize, "%s", text);
    if (statusWindow_) {
        InvalidateRect(statusWindow_, nullptr, FALSE);
        UpdateWindow(statusWindow_);
    }
}

// The entries the install writes and the game's originals the uninstall writes back: a damaged original is found
// before the game changes, not when the player wants the game back. A missing original counts as damaged.
bool InstallWorker::CheckEntries() {
    unpackedMd5_.clear();
    if (Dependencies().entryCheck == EntryCheck::kNone)
        return true;
    const bool recorded = Dependencies().installRecord;
    std::vector<const PackageEntry*> entries = EntriesToWrite(*index_);
    for (const CopyRow& row : kRestoreTable) {
        if (!recorded)
            break;
        const PackageEntry* found = FindEntry(*index_, row.entry);
        if (!found)
            damaged_.push_back(row.entry);
        else
            entries.push_back(found);
    }
    // The unpacked bytes of entries are hashed on a second thread while the next are read and checked, each into an
    // output buffer of its own: the one being filled and one for each of the digest's slots, taken in turn (a
    // buffer comes back to be filled kSlots entries after it was handed over, when it is hashed); without that
    // thread they are hashed here.
    ScratchBuffers buffers;
    ByteBuffer spareOutputs[BackgroundDigest::kSlots];
    int nextSpare = 0;
    BackgroundDigest digest;  // after the buffers: it is stopped before they go
    const bool inParallel = recorded && digest.Begin();
    ExtractOptions check;
    check.reporter = Reporter::kQuiet;
    check.package = package_.get();
    check.scratch = &buffers;
    for (const PackageEntry* entry : entries) {
        if (stopping_)
            return false;
        std::string md5;
        check.unpackedMd5 = recorded && !inParallel ? &md5 : nullptr;
        if (!ExtractEntry(*entry, nullptr, nullptr, check)) {
            damaged_.push_back(entry->name);
        } else if (inParallel) {
            digest.Hash(buffers.output.get(), entry->originalSize, &unpackedMd5_[entry]);
            std::swap(buffers.output, spareOutputs[nextSpare]);
            nextSpare = (nextSpare + 1) % BackgroundDigest::kSlots;
        } else if (recorded) {
            unpackedMd5_[entry] = md5;
        }
    }
    digest.Wait();
    return damaged_.empty();
}

std::string InstallWorker::UnpackedMd5(const PackageEntry& entry) {
    const auto found = unpackedMd5_.find(&entry);
    if (found != unpackedMd5_.end())
        return found->second;
    MemorySink sink;
    if (!ExtractEntry(entry, &sink, nullptr, ExtractOptions{Reporter::kQuiet}))
        return std::string();
    return unpackedMd5_[&entry] = Md5Hex(sink.data, sink.size);
}

void InstallWorker::BuildRecord() {
    record_.entries.clear();
    otherVersion_.clear();
    const PackageIndex& index = *index_;
    auto entryNamed = [&index](const char* name) { return FindEntry(index, name); };
    // Every place the install writes, in the order it writes them: the copy table's rows come last and win.
    std::vector<std::pair<std::string, const PackageEntry*>> writes;
    writes.push_back({kConfigTarget, entryNamed(kConfigEntry)});
    writes.push_back({kLibraryTarget, entryNamed(kLibraryEntry)});
    for (const auto& item : index) {
        if (IsPackEntryName(item.second.name) && IsSafeEntryName(item.second.name))
            writes.push_back({item.second.name, &item.second});
    }
    for (const CopyRow& row : kCopyTable)
        writes.push_back({row.target, entryNamed(row.entry)});

    std::map<std::string, size_t> places;  // lower-cased place: its entry in the record
    ReaderBelow reader(*gameFolder_);
    for (auto& write : writes) {
        if (!write.second)
            continue;  // not in the package: nothing is written there
        std::string place = WithoutLeadingSeparator(write.first.c_str());
        UseBackslashes(place);
        RecordEntry entry;
        entry.path = place;
        entry.size = write.second->originalSize;
        entry.md5 = UnpackedMd5(*write.second);
        const auto known = places.find(LowerAsciiDbcsCopy(place));
        if (known != places.end()) {
            RecordEntry& earlier = record_.entries[known->second];
            earlier.hasInterim = true;
            earlier.interimSize = earlier.size;
            earlier.interimMd5 = earlier.md5;
            earlier.size = entry.size;
            earlier.md5 = entry.md5;
            continue;
        }
        places[LowerAsciiDbcsCopy(place)] = record_.entries.size();
        record_.entries.push_back(entry);
    }
    for (RecordEntry& entry : record_.entries) {
        const PackageEntry* original = nullptr;
        for (const CopyRow& row : kRestoreTable) {
            if (SameRecordPath(WithoutLeadingSeparator(row.target), entry.path))
                original = entryNamed(row.entry);
        }
        const std::string originalMd5 = original ? UnpackedMd5(*original) : std::string();
        const FileNow now = reader.StateOf(entry.path);
        // A place that cannot be read now (a game file the game holds open, a link) is not written through either:
        // the install names it. A game file there counts as the game's own, which the uninstall puts back should
        // the install still have replaced it.
        entry.before =
            now.refused ? (original ? BeforeKind::kOriginal : BeforeKind::kNothing)
                        : BeforeFrom(now.present, Holds(now, entry.size, entry.md5),
                                     original && Holds(now, original->originalSize, originalMd5), original != nullptr);
        if (entry.before == BeforeKind::kOriginal) {
            entry.beforeSize = original->originalSize;
            entry.beforeMd5 = originalMd5;
        } else if (entry.before == BeforeKind::kKept) {
            entry.beforeSize = now.size;
            entry.beforeMd5 = now.md5;
            entry.kept = KeptPathFor(entry.path);
            if (original)
                otherVersion_.push_back(entry.path);
        }
    }
}

// Every entry under the pack folder, in the index's order, with the sub-folders its name implies. The pack folder
// is ours: what an extraction with its own checks delivered is written even after a failed check, which is noted.
// An entry checked once already is read from the package held since then, without a second digest and without a
// box. The share shown counts every entry that is written, or fails, by its unpacked size.
void InstallWorker::UnpackPackFolder() {
    ExtractOptions read = readOptions_;
    read.reporter = read.digestChecked ? Reporter::kQuiet : Reporter::kMessages;
    uint64_t totalBytes = 0;
    size_t totalEntries = 0;
    for (const auto& item : *index_) {
        if (IsPackEntryName(item.second.name) && IsSafeEntryName(item.second.name)) {
            totalBytes += item.second.originalSize;
            ++totalEntries;
        }
    }
    UnpackProgress progress(totalBytes, totalEntries);
    ShowProgress(progress);
    WriterBelow writer(*gameFolder_);
    for (const auto& item : *index_) {
        if (stopping_)
            return;
        const PackageEntry& entry = item.second;
        if (!IsPackEntryName(entry.name))
            continue;
        if (!IsSafeEntryName(entry.name)) {
            ++skippedNames_;
            continue;
        }
        MemorySink sink;
        ExtractReport report;
        Refusal refusal;
        if (!ExtractEntry(entry, &sink, &report, read))
            failures_.Add(Failure::kWrite, entry.name);
        else if (!writer.Put(entry.name, sink.data, sink.size, &refusal))
            AddRefusal(failures_, refusal);
        else if (!report.clean())
            failures_.Add(Failure::kChecked, entry.name);
        progress.EntryDone(entry.originalSize);
        ShowProgress(progress);
    }
}

void InstallWorker::Run() {
    // Held without write sharing from before the check until the unpack is over; read through one stream.
    heldPackage_.Reset(HoldPackage(*index_));
    package_.Reset(PackagePath(*index_) ? OpenGbkFile(PackagePath(*index_), "rb") : nullptr);
    readOptions_ = ExtractOptions();
    if (Dependencies().entryCheck == EntryCheck::kOnce && heldPackage_.valid() && package_) {
        readOptions_.package = package_.get();
        readOptions_.digestChecked = true;
    }
    Install();
    readOptions_ = ExtractOptions();
    library_.Release();
    package_.Reset(nullptr);
    heldPackage_.Reset(INVALID_HANDLE_VALUE);
}

void InstallWorker::Install() {
    SetStatus(kCopyingText);
    const bool sound = CheckEntries();
    if (stopping_)
        return;  // the user quit: nobody waits for the hand-back
    if (sound && Dependencies().installRecord)
        BuildRecord();
    if (!sound)
        SetStatus("");
    phase_ = sound ? Phase::kChecked : Phase::kDamaged;
    SendMessageW(mainWindow_, kInstallDoneMessage, 0, 0);
    if (!sound || !proceed_ || stopping_) {
        if (sound && !stopping_)
            SetStatus("");  // the install ended at its mark
        return;
    }

    UnpackPackFolder();
    if (stopping_)
        return;
    // A library that is missing or lacks its export has been reported; the installation is completed without it.
    if (!libraryReady_ || !Dependencies().callResourceInstall((installFolder_ + kLibraryTarget).c_str(), library_,
                                                              statusWindow_, statusText_))
        failures_.Add(Failure::kLibrary, WithoutLeadingSeparator(kLibraryTarget));
    library_.Release();
    if (stopping_)
        return;
    // The library may have queued a repaint of its last text; the second clear covers one that lands in between.
    SetStatus("");
    SetStatus("");
    phase_ = Phase::kUnpacked;
    SendMessageW(mainWindow_, kInstallDoneMessage, 0, 0);
}

namespace {

// The worker's second hand-back: the copy table, then the last box.
void CompleteInstall(HWND mainWindow) {
    gInstallerState.phase = JobPhase::kFinishing;
    const std::string& folder = gInstallerState.installFolder;
    FailureList& failures = gInstallerState.failures;
    failures.Append(gInstallWorker.failures());
    {
        MemorySink sink;
        for (const CopyRow& row : kCopyTable) {
            CopyEntryToFile(gInstallWorker.index(), gInstallWorker.readOptions(), row.entry, sink,
                            gInstallerState.gameFolder, row.target, failures);
            // Freed now rather than on the next delivery, so that one entry's buffers never meet the next one's.
            sink.Release();
        }
    }
    ReportSkippedNames(mainWindow, gInstallWorker.skippedNames());
    ReportEnd(mainWindow, folder, gInstallerState.gameFolder, failures);
    EndInstall();
}

}  // namespace

void ShowInstallProgress(HWND mainWindow, unsigned percent) {
    if (!gInstallerState.extracting)
        return;  // a report that was still queued when the install ended
    if (!gInstallerState.taskbar)
        gInstallerState.taskbar = std::make_unique<TaskbarProgress>(mainWindow);
    gInstallerState.taskbar->Show(percent);
}

void FinishInstall(HWND mainWindow) {
    if (!gInstallerState.extracting)
        return;
    switch (gInstallWorker.phase()) {
        case InstallWorker::Phase::kChecked:
            MarkAndBeginWriting(mainWindow);
            break;
        case InstallWorker::Phase::kDamaged:
            ShowDamagedPackage(mainWindow, gInstallWorker.damaged(), {kDamagedHeading, kDamagedAdvice, kErrorCaption});
            EndInstall();
            break;
        case InstallWorker::Phase::kUnpacked:
            CompleteInstall(mainWindow);
            break;
        case InstallWorker::Phase::kChecking:
            break;
    }
}

void StopInstallForQuit(HWND mainWindow, DWORD timeoutMs) {
    if (!gInstallerState.extracting && !gInstallWorker.IsBusy())
        return;
    gInstallWorker.RequestStop();
    const bool stopped = gInstallWorker.WaitUntilIdle(timeoutMs);
    gInstallerState.taskbar.reset();
    // The hand-back may have come in while waiting: then the install is complete and has said so.
    if (gInstallerState.extracting) {
        ShowMessage(mainWindow, gInstallerState.marked ? kNotFinishedChangedText : kNotFinishedText, kNoteCaption,
                    kMbOk | kMbIconWarning);
        gInstallerState.phase = JobPhase::kNone;
        gInstallerState.extracting = false;
    }
    if (stopped)
        ReleaseFolders();
    // The library still writes into the status text and reads the folder name: nothing may be freed under it.
    if (!stopped)
        TerminateProcess(GetCurrentProcess(), kExitQuitDuringInstall);
}
