#include "support/VistaCalls_win.h"

#include "mainwindow/Startup_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "mainwindow/MainWindow_win.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"
#include "support/SystemLibrary_win.h"
#include "support/SystemText_win.h"

// In the machine's global namespace, not the session's: a copy in another session (fast user switching, a remote
// desktop) must see the running one, or two sessions could install into one game folder at once.
const char kInstanceName[] = "Global\\QuorvanSetup.SingleInstance";
const char kAlreadyRunningText[] = "汉化包安装程序已经在运行!";
const char kUnsafeStartText[] = "安装程序无法安全地启动 (无法限制程序库的查找位置, 或无法进入系统文件夹), 将退出。";

namespace {

// Not in the headers of the oldest systems we build for; looked up at run time.
using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD flags);
using SetDllDirectoryProc = BOOL(WINAPI*)(const wchar_t* path);
using SetProcessMitigationPolicyProc = BOOL(WINAPI*)(int policy, void* buffer, SIZE_T size);
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr int kRedirectionTrustPolicy = 16;    // ProcessRedirectionTrustPolicy
constexpr DWORD kEnforceRedirectionTrust = 1;  // PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY.EnforceRedirectionTrust

// The mutex's security: owned by the Administrators group, opened by administrators and the system alone. A
// program without administrator rights can neither make an object with that owner nor open this one.
const wchar_t kInstanceSecurity[] = L"O:BAD:(A;;GA;;;BA)(A;;GA;;;SY)";

}  // namespace

bool RestrictLibrarySearch() {
    // The current folder leaves the search first, on every system that can be asked to.
    if (auto setDllDirectory = LoadedExport<SetDllDirectoryProc>(L"kernel32.dll", "SetDllDirectoryW")) {
        if (!setDllDirectory(L""))
            return false;
    }
    auto setDefault = LoadedExport<SetDefaultDllDirectoriesProc>(L"kernel32.dll", "SetDefaultDllDirectories");
    return !setDefault || setDefault(kSearchSystem32);
}

bool EnterSystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH && SetCurrentDirectoryW(folder);
}

bool TrustOnlyAdministratorsLinks() {
    auto setPolicy = LoadedExport<SetProcessMitigationPolicyProc>(L"kernel32.dll", "SetProcessMitigationPolicy");
    DWORD policy = kEnforceRedirectionTrust;
    return setPolicy && setPolicy(kRedirectionTrustPolicy, &policy, sizeof policy);
}

bool PrepareProcess() {
    TrustOnlyAdministratorsLinks();  // a system without the policy follows links as before: nothing to refuse
    return RestrictLibrarySearch() && EnterSystemFolder();
}

namespace {

// Whether an object made by an administrator: its owner is the Administrators group or the system. Only a program
// with administrator rights can make an object so owned.
bool OwnedByAdministrators(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &security) != ERROR_SUCCESS)
        return false;
    const bool ours =
        owner && (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid));
    LocalFree(security);
    return ours;
}

}  // namespace

SingleInstance::SingleInstance(const char* name) {
    // No name, or one that is not GBK: nothing can be held under it, and the program runs as it does without a
    // mutex (an unnamed one, which an empty name would give, could not be seen by another copy either).
    std::wstring wideName;
    if (!WideFromGbk(name, &wideName) || wideName.empty())
        return;
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kInstanceSecurity, SDDL_REVISION_1, &security, nullptr))
        return;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, security, FALSE};
    mutex_ = CreateMutexW(&attributes, TRUE, wideName.c_str());
    const DWORD error = GetLastError();
    LocalFree(security);
    // A name that another copy holds is owned by the Administrators group and open to us. A name that a program
    // without administrator rights took first (owned by someone else, or closed to us) is not a copy of ours: the
    // program runs without the mutex rather than never, which is all that such a program could otherwise achieve.
    if (mutex_ && error == ERROR_ALREADY_EXISTS && !OwnedByAdministrators(mutex_)) {
        CloseHandle(mutex_);
        mutex_ = nullptr;
        return;
    }
    first_ = !mutex_ || error != ERROR_ALREADY_EXISTS;
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
