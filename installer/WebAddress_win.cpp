#include "support/VistaCalls_win.h"

#include "installer/WebAddress_win.h"

#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include "installer/WebAddress.h"
#include "support/ComObjects_win.h"
#include "support/SystemText_win.h"

namespace {

// A VARIANT cleared at the end of the scope.
class ScopedVariant {
  public:
    ScopedVariant() { VariantInit(&value_); }
    ~ScopedVariant() { VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* get() { return &value_; }

  private:
    VARIANT value_;
};

// A VARIANT holding a string (VT_BSTR), or empty (VT_EMPTY) for a null text.
class StringVariant : public ScopedVariant {
  public:
    explicit StringVariant(const wchar_t* text) {
        if (text) {
            get()->vt = VT_BSTR;
            get()->bstrVal = SysAllocString(text);
        }
    }
    bool valid() { return get()->vt != VT_BSTR || get()->bstrVal != nullptr; }
};

// The desktop's view as an IShellFolderViewDual: IShellWindows finds the desktop window, whose browser
// (SID_STopLevelBrowser) shows the desktop's view.
bool DesktopView(ComPtr<IShellFolderViewDual>* view) {
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(windows.Out()))))
        return false;
    ScopedVariant location, root;
    location.get()->vt = VT_I4;
    location.get()->lVal = CSIDL_DESKTOP;
    long window = 0;
    ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(location.get(), root.get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.Out()) !=
            S_OK ||
        !desktop.get())
        return false;
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> shown;
    ComPtr<IDispatch> background;
    return SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.Out()))) &&
           SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                            reinterpret_cast<void**>(browser.Out()))) &&
           SUCCEEDED(browser->QueryActiveShellView(shown.Out())) && shown.get() &&
           SUCCEEDED(
               shown->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(background.Out()))) &&
           background.get() &&
           SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(view->Out())));
}

}  // namespace

bool OpenThroughDesktopShell(const std::wstring& address) {
    const ScopedCom com;
    if (!com.usable())
        return false;
    ComPtr<IShellFolderViewDual> view;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    if (!DesktopView(&view) || FAILED(view->get_Application(application.Out())) || !application.get() ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell.Out()))))
        return false;
    // The shell process runs ShellExecute("open", address) as the player; arguments and folder are left empty.
    StringVariant arguments(nullptr), folder(nullptr), operation(L"open");
    ScopedVariant show;
    show.get()->vt = VT_I4;
    show.get()->lVal = SW_SHOWNORMAL;
    BSTR target = SysAllocString(address.c_str());
    if (!target || !operation.valid())
        return false;
    const HRESULT result = shell->ShellExecute(target, *arguments.get(), *folder.get(), *operation.get(), *show.get());
    SysFreeString(target);
    return SUCCEEDED(result);
}

bool StartProgramByPath(const std::wstring& program, const std::wstring& commandLine, const std::wstring& folder) {
    // CreateProcessW completes a partial application name from the current folder: only "X:\..." is started.
    const bool onDrive = program.size() > 3 && iswalpha(program[0]) && program[1] == L':' && program[2] == L'\\';
    if (!onDrive)
        return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;  // CreateProcessW may write into it
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool InternetExplorerPath(std::wstring* path) {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder)) || !folder[0])
        return false;
    std::wstring joined = folder;
    if (joined.back() != L'\\')
        joined += L'\\';
    *path = joined + L"Internet Explorer\\iexplore.exe";
    return true;
}

bool SystemFolder(std::wstring* path) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    path->assign(folder, length);
    return true;
}

BrowserWays SystemBrowserWays() {
    return BrowserWays{OpenThroughDesktopShell, StartProgramByPath};
}

bool OpenWebAddress(const std::string& address, const BrowserWays& ways) {
    std::wstring wide;
    if (!IsWebAddress(address) || !WideFromGbk(address, &wide))
        return false;
    if (ways.throughDesktop(wide))
        return true;
    std::wstring program, folder;
    if (!InternetExplorerPath(&program) || !SystemFolder(&folder))
        return false;
    return ways.startProgram(program, L"\"" + program + L"\" " + wide, folder);
}
