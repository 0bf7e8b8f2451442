#include "mainwindow/Startup_win.h"

#include "mainwindow/MainWindow.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"

const char kInstanceName[] = "QuorvanSetup.SingleInstance";
const char kAlreadyRunningText[] = "汉化包安装程序已经在运行!";

namespace {

// Not in the headers of the oldest systems we build for; looked up at run time.
using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD flags);
using SetDllDirectoryProc = BOOL(WINAPI*)(const char* path);
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

template <typename Proc>
Proc KernelExport(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

}  // namespace

bool RestrictLibrarySearch() {
    // The current folder leaves the search first, on every system that can be asked to.
    if (auto setDllDirectory = KernelExport<SetDllDirectoryProc>("SetDllDirectoryA"))
        setDllDirectory("");
    auto setDefault = KernelExport<SetDefaultDllDirectoriesProc>("SetDefaultDllDirectories");
    return setDefault && setDefault(kSearchSystem32);
}

SingleInstance::SingleInstance(const char* name) {
    mutex_ = CreateMutexA(nullptr, TRUE, name);
    // Without a mutex at all the program runs as before rather than not at all.
    first_ = !mutex_ || GetLastError() != ERROR_ALREADY_EXISTS;
}

SingleInstance::~SingleInstance() {
    if (!mutex_)
        return;
    if (first_)
        ReleaseMutex(mutex_);
    CloseHandle(mutex_);
}

void ShowRunningInstance() {
    HWND running = FindWindowA(kInstallWindowClass, nullptr);
    if (running) {
        if (IsIconic(running))
            ShowWindow(running, SW_RESTORE);
        SetForegroundWindow(running);
    }
    ShowMessage(nullptr, kAlreadyRunningText, kNoteCaption, kMbOk | kMbIconInformation);
}
