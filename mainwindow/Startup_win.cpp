#include "mainwindow/Startup_win.h"

#include <string>

#include "mainwindow/MainWindow.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"
#include "support/SystemText_win.h"

// In the machine's global namespace, not the session's: a copy in another session (fast user switching, a remote
// desktop) must see the running one, or two sessions could install into one game folder at once.
const char kInstanceName[] = "Global\\QuorvanSetup.SingleInstance";
const char kAlreadyRunningText[] = "汉化包安装程序已经在运行!";

namespace {

// Not in the headers of the oldest systems we build for; looked up at run time.
using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD flags);
using SetDllDirectoryProc = BOOL(WINAPI*)(const wchar_t* path);
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

template <typename Proc>
Proc KernelExport(const char* name) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

}  // namespace

bool RestrictLibrarySearch() {
    // The current folder leaves the search first, on every system that can be asked to.
    if (auto setDllDirectory = KernelExport<SetDllDirectoryProc>("SetDllDirectoryW"))
        setDllDirectory(L"");
    auto setDefault = KernelExport<SetDefaultDllDirectoriesProc>("SetDefaultDllDirectories");
    return setDefault && setDefault(kSearchSystem32);
}

SingleInstance::SingleInstance(const char* name) {
    // No name, or one that is not GBK: nothing can be held under it, and the program runs as it does without a
    // mutex (an unnamed one, which an empty name would give, could not be seen by another copy either).
    std::wstring wideName;
    if (!WideFromGbk(name, &wideName) || wideName.empty())
        return;
    mutex_ = CreateMutexW(nullptr, TRUE, wideName.c_str());
    const DWORD error = GetLastError();
    if (!mutex_) {
        // The name exists and its owner (another account, in another session) does not let us open it: that copy
        // is running. Without a mutex for any other reason the program runs as before rather than not at all.
        first_ = error != ERROR_ACCESS_DENIED;
        return;
    }
    first_ = error != ERROR_ALREADY_EXISTS;
}

SingleInstance::~SingleInstance() {
    if (!mutex_)
        return;
    if (first_)
        ReleaseMutex(mutex_);
    CloseHandle(mutex_);
}

void ShowRunningInstance() {
    HWND running = FindWindowW(Wide(kInstallWindowClass).c_str(), nullptr);
    if (running) {
        if (IsIconic(running))
            ShowWindow(running, SW_RESTORE);
        SetForegroundWindow(running);
    }
    ShowMessage(nullptr, kAlreadyRunningText, kNoteCaption, kMbOk | kMbIconInformation);
}
