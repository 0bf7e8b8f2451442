// install_bench: times the installer's own install flow on a package file and reports its memory.
//
//   install_bench PACKAGE GAME_FOLDER [none|once|twice] [progress|quiet] [record|unrecorded]
//
// PACKAGE is indexed into the process-wide index, as start-up does with the program's own file. The game's
// registry entry points at GAME_FOLDER, which must hold "Shin Sangokumusou 3.exe"; it is written into a scratch
// key that stands in for HKEY_CURRENT_USER during the run, so the real install key is never touched. Every
// message box is answered with OK; the "install" command then runs on the program's main window (plain grey
// pictures and the package's layout file: a status label that is repainted as the install writes it, and a taskbar
// button), with the real worker and FinishInstall, until "安装成功结束!". It needs a display. Afterwards the same
// entries are extracted once more into memory only, and the library's ResourceInstall is run once more on its own,
// to show where the time goes.
//
// The third argument chooses how the install makes sure of the package before its first change (its entryCheck):
// "none" (no check first, each entry checked as it is extracted), "once" (the product's choice: every entry
// checked first, the unpack then without a second digest) or "twice" (checked first and again as extracted).
// The fourth says whether the unpack shows its share done ("progress", the product's way: the status label and the
// taskbar button) or not ("quiet"). The fifth whether the install writes its record first ("record", the product's
// way: the digests of the unpacked entries, the game's originals checked, the record written and read back) or not
// ("unrecorded").
//
// Prints "name value" lines: times in seconds, sizes in bytes. Exit status 0, or 1 when the install did not run
// through (an unexpected message box, a missing file, no done message within the time limit).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "installer/CommandDispatch_win.h"
#include "installer/Dependencies_win.h"
#include "installer/FileHelpers.h"
#include "installer/InstallFlow_win.h"
#include "installer/InstallMark_win.h"
#include "installer/ResourceLibrary_win.h"
#include "mainwindow/MainWindow_win.h"
#include "package/Extract.h"
#include "package/PackNames.h"
#include "package/Package.h"
#include "support/GdiHandles_win.h"
#include "support/MessageSeam.h"

namespace {

const char kScratchKey[] = "Software\\QuorvanInstallBench";
const char kGameExecutable[] = "\\Shin Sangokumusou 3.exe";
const char kConfirmCaption[] = "安装确认";
const char kDoneText[] = "安装成功结束!";
constexpr DWORD kTimeLimitMs = 30 * 60 * 1000;

double Now() {
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// Processor time of the whole process (every thread, user and kernel), in seconds: steadier than the wall clock
// on a machine that others share.
double ProcessorTime() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto seconds = [](const FILETIME& time) {
        return double((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

// What the message handler saw, on the user-interface thread.
struct Run {
    double confirmed = 0;
    double confirmedCpu = 0;
    double doneCpu = 0;
    double checked = 0;  // the worker's first hand-back: every entry checked (at once with no check first)
    double doneMessage = 0;
    double done = 0;
    PROCESS_MEMORY_COUNTERS memoryAtDoneMessage = {};  // the worker's part is over, FinishInstall's to come
    PROCESS_MEMORY_COUNTERS memoryAtDone = {};
    std::vector<std::string> unexpected;
};
Run gRun;

int AnswerOk(void*, const char* text, const char* caption, unsigned) {
    if (std::strcmp(caption, kConfirmCaption) == 0) {
        gRun.confirmed = Now();
        gRun.confirmedCpu = ProcessorTime();
    } else if (std::strcmp(text, kDoneText) == 0) {
        gRun.done = Now();
        gRun.doneCpu = ProcessorTime();
        gRun.memoryAtDone = Memory();
    } else {
        gRun.unexpected.push_back(std::string(caption) + ": " + text);
    }
    return kIdOk;
}

// The main window's install-done handler: the time of each hand-back, then the product's.
void OnInstallDone(HWND window) {
    if (gInstallWorker.phase() == InstallWorker::Phase::kChecked)
        gRun.checked = Now();
    gRun.doneMessage = Now();
    gRun.memoryAtDoneMessage = Memory();
    FinishInstall(window);
}

// The scratch key that HKEY_CURRENT_USER stands for during the run; it holds only the game's entry.
class ScratchUserKey {
  public:
    ScratchUserKey() {
        RegCreateKeyExA(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &root_, nullptr);
    }
    ~ScratchUserKey() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (!root_)
            return;
        // The install key below the scratch key, then each key above it, deepest first.
        std::string key = kInstallKeyPath;
        for (size_t cut = key.size(); cut != std::string::npos; cut = key.rfind('\\')) {
            key.resize(cut);
            RegDeleteKeyA(root_, key.c_str());
        }
        RegCloseKey(root_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kScratchKey);
    }
    ScratchUserKey(const ScratchUserKey&) = delete;
    ScratchUserKey& operator=(const ScratchUserKey&) = delete;

    // Writes the game's entry and makes the scratch key stand for HKEY_CURRENT_USER.
    bool Activate(const std::string& gameFolder) {
        HKEY install = nullptr;
        if (!root_ || RegCreateKeyExA(root_, kInstallKeyPath, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                      &install, nullptr) != ERROR_SUCCESS)
            return false;
        const LONG written =
            RegSetValueExA(install, kInstallInfoValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(gameFolder.c_str()),
                           DWORD(gameFolder.size() + 1));
        RegCloseKey(install);
        return written == ERROR_SUCCESS && RegOverridePredefKey(HKEY_CURRENT_USER, root_) == ERROR_SUCCESS;
    }

  private:
    HKEY root_ = nullptr;
};

// A plain grey picture of the built-in skin's size (which the demo's layout file fits), stored as the program's
// resources are: 24 bits per pixel, bottom-up.
HBITMAP GreyPicture() {
    constexpr int kSide = 450;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kSide, kSide, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (picture)
        std::memset(bits, 0xC0, size_t((kSide * 3 + 3) & ~3) * kSide);
    return picture;
}

// The program's main window, with the installer's handlers and the bench's own install-done handler; null when it
// could not be made.
HWND CreateBenchWindow() {
    MainWindowHandlers handlers = InstallerWindowHandlers();
    handlers.installDone = OnInstallDone;
    SetMainWindowHandlers(handlers);
    gSkinImages.instance = GetModuleHandleA(nullptr);
    OwnedGdiObject<HBITMAP> normal(GreyPicture());
    OwnedGdiObject<HBITMAP> highlight(GreyPicture());
    if (!normal.get() || !highlight.get())
        return nullptr;
    // The window takes both pictures over, whatever the outcome.
    if (CreateMainWindowWithImages(normal.release(), highlight.release()) != WindowStart::kShown)
        return nullptr;
    return gSkinImages.mainWindow;
}

// Runs messages until the install has shown its last box and its worker has ended, or the time limit.
bool PumpUntilDone() {
    const DWORD start = GetTickCount();
    while (!(gRun.done && !gInstallerState.extracting && !gInstallWorker.IsBusy())) {
        if (GetTickCount() - start > kTimeLimitMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return true;
}

void PrintFigure(const char* name, double value) {
    std::printf("%s %.3f\n", name, value);
}

void PrintBytes(const char* name, unsigned long long value) {
    std::printf("%s %llu\n", name, value);
}

void PrintEntries(const std::vector<const PackageEntry*>& entries) {
    unsigned long long original = 0, compressed = 0;
    const PackageEntry* largest = nullptr;
    for (const PackageEntry* entry : entries) {
        original += entry->originalSize;
        compressed += entry->compressedSize;
        if (!largest || uint64_t(entry->originalSize) + entry->compressedSize >
                            uint64_t(largest->originalSize) + largest->compressedSize)
            largest = entry;
    }
    PrintBytes("entries", entries.size());
    PrintBytes("entries_original_bytes", original);
    PrintBytes("entries_compressed_bytes", compressed);
    if (largest) {
        std::printf("largest_entry %s\n", largest->name.c_str());
        PrintBytes("largest_entry_original_bytes", largest->originalSize);
        PrintBytes("largest_entry_compressed_bytes", largest->compressedSize);
    }
}

void PrintMemory(const char* prefix, const PROCESS_MEMORY_COUNTERS& counters) {
    std::printf("%s_working_set %llu\n", prefix, static_cast<unsigned long long>(counters.WorkingSetSize));
    std::printf("%s_peak_working_set %llu\n", prefix, static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    std::printf("%s_pagefile %llu\n", prefix, static_cast<unsigned long long>(counters.PagefileUsage));
    std::printf("%s_peak_pagefile %llu\n", prefix, static_cast<unsigned long long>(counters.PeakPagefileUsage));
}

// The same entries decoded once more, into memory only: reading, digest and decompression without the files.
double ExtractOnly(const std::vector<const PackageEntry*>& entries) {
    const double start = Now();
    for (const PackageEntry* entry : entries) {
        MemorySink sink;
        ExtractEntry(*entry, sink);
    }
    return Now() - start;
}

// The library's part on its own, over the pack folder the install left (it rewrites the same index file).
double LibraryOnly(const std::string& gameFolder) {
    char statusText[kLayoutTextSize] = {};
    const double start = Now();
    CallResourceInstall((gameFolder + "\\SavePatch.qvx").c_str(), nullptr, statusText);
    return Now() - start;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc >= 4 ? argv[3] : "once";
    const std::string progress = argc >= 5 ? argv[4] : "progress";
    const std::string record = argc >= 6 ? argv[5] : "record";
    if (argc < 3 || argc > 6 || (mode != "none" && mode != "once" && mode != "twice") ||
        (progress != "progress" && progress != "quiet") || (record != "record" && record != "unrecorded")) {
        std::fputs("usage: install_bench PACKAGE GAME_FOLDER [none|once|twice] [progress|quiet] [record|unrecorded]\n",
                   stderr);
        return 2;
    }
    InstallerDependencies dependencies;
    dependencies.entryCheck = mode == "none"    ? EntryCheck::kNone
                              : mode == "twice" ? EntryCheck::kTwice
                                                : EntryCheck::kOnce;
    dependencies.showUnpackProgress = progress == "progress";
    dependencies.installRecord = record == "record";
    SetInstallerDependencies(dependencies);
    const std::string package = argv[1];
    const std::string gameFolder = argv[2];

    const double indexStart = Now();
    const IndexResult indexed = IndexPackageFile(package.c_str(), gPackageIndex);
    const double indexTime = Now() - indexStart;
    if (indexed.status != IndexStatus::kOk) {
        std::fprintf(stderr, "install_bench: %s: %s\n", package.c_str(), IndexStatusText(indexed.status));
        return 1;
    }
    if (GetFileAttributesA((gameFolder + kGameExecutable).c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "install_bench: %s%s is missing\n", gameFolder.c_str(), kGameExecutable);
        return 1;
    }
    const std::vector<const PackageEntry*> entries = EntriesToWrite(gPackageIndex);

    SetMessageHandler(AnswerOk);
    ScratchUserKey userKey;
    // The key first: the window's controls are brought into the state that the registry says.
    HWND window = userKey.Activate(gameFolder) ? CreateBenchWindow() : nullptr;
    if (!window) {
        DestroyMainWindow();
        std::fputs("install_bench: no window (is there a display?) or no scratch registry key\n", stderr);
        return 1;
    }

    const PROCESS_MEMORY_COUNTERS idle = Memory();
    InstallPack(window);
    const bool finished = PumpUntilDone();
    const PROCESS_MEMORY_COUNTERS after = Memory();
    for (const std::string& box : gRun.unexpected)
        std::fprintf(stderr, "install_bench: unexpected message box %s\n", box.c_str());
    if (!finished || !gRun.confirmed || !gRun.done || !gRun.unexpected.empty()) {
        std::fputs("install_bench: the install did not run through\n", stderr);
        return 1;
    }

    std::printf("check_mode %s\n", mode.c_str());
    std::printf("progress %s\n", progress.c_str());
    std::printf("record %s\n", record.c_str());
    PrintFigure("index_s", indexTime);
    PrintEntries(entries);
    PrintFigure("install_s", gRun.done - gRun.confirmed);
    PrintFigure("install_cpu_s", gRun.doneCpu - gRun.confirmedCpu);
    PrintFigure("install_until_done_message_s", gRun.doneMessage - gRun.confirmed);
    PrintFigure("check_s", gRun.checked - gRun.confirmed);
    PrintFigure("finish_install_s", gRun.done - gRun.doneMessage);
    PrintMemory("idle", idle);
    PrintMemory("worker_done", gRun.memoryAtDoneMessage);
    PrintMemory("done", gRun.memoryAtDone);
    PrintMemory("after", after);
    PrintFigure("extract_only_s", ExtractOnly(entries));
    PrintFigure("library_only_s", LibraryOnly(gameFolder));
    DestroyMainWindow();
    return 0;
}
