#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstddef>

#include "settings/PathChooser.h"

namespace {

constexpr size_t kFileNameSize = 8192;
constexpr int kFolderEditId = 1000;
constexpr size_t kFolderEditTextSize = 256;  // what is read back from the edit, terminator included
constexpr DWORD kFolderEditExStyle = WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY;
constexpr DWORD kFolderEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr RECT kFolderEditPlace = {10, 15, 10 + 295, 15 + 20};

// The open-file description without the fields added after it first appeared: 76 bytes in the 32-bit program.
constexpr DWORD kOpenRequestSize = DWORD(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR));
static_assert(sizeof(void*) != 4 || kOpenRequestSize == 76, "open-file request size");

// The state of the one chooser that can be open.
OPENFILENAMEA gOpenRequest;
char gFileName[kFileNameSize];
std::string gFolderPath;    // the selection as shown in the edit; finally the edit's text
std::string gFolderSuffix;  // appended to every selected folder
WNDPROC gBrowsePreviousProc = nullptr;

void OnBrowserInitialized(HWND browser) {
    SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(gFolderPath.c_str()));
    HWND edit = CreateWindowExA(
        kFolderEditExStyle, "edit", gFolderPath.c_str(), kFolderEditStyle, kFolderEditPlace.left, kFolderEditPlace.top,
        kFolderEditPlace.right - kFolderEditPlace.left, kFolderEditPlace.bottom - kFolderEditPlace.top, browser,
        reinterpret_cast<HMENU>(INT_PTR(kFolderEditId)), nullptr, nullptr);
    SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    gBrowsePreviousProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(browser, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FolderEditProc)));
}

void OnBrowserSelectionChanged(HWND browser, LPARAM item) {
    char folder[MAX_PATH] = {};
    if (!item || !SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(item), folder))
        return;  // a virtual item: the edit keeps its text
    gFolderPath = std::string(folder) + gFolderSuffix;
    SetDlgItemTextA(browser, kFolderEditId, gFolderPath.c_str());
    SendMessageA(browser, WM_MOVE, 0, 0);
}

void OnBrowserDestroy(HWND browser) {
    char text[kFolderEditTextSize] = {};
    GetDlgItemTextA(browser, kFolderEditId, text, int(sizeof text));
    gFolderPath = text;
}

bool ChooseFile(HWND owner, std::string& path, const char* filter) {
    gOpenRequest = OPENFILENAMEA();
    gFileName[0] = '\0';
    gOpenRequest.lStructSize = kOpenRequestSize;
    gOpenRequest.hwndOwner = owner;
    gOpenRequest.lpstrFilter = filter;
    gOpenRequest.nFilterIndex = 1;
    gOpenRequest.lpstrFile = gFileName;
    gOpenRequest.nMaxFile = DWORD(kFileNameSize);
    gOpenRequest.lpstrInitialDir = path.c_str();
    gOpenRequest.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&gOpenRequest)) {
        path.clear();
        return false;
    }
    path = gFileName;
    return true;
}

}  // namespace

int CALLBACK FolderBrowseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM) {
    switch (message) {
        case BFFM_INITIALIZED:
            OnBrowserInitialized(browser);
            break;
        case BFFM_SELCHANGED:
            OnBrowserSelectionChanged(browser, lParam);
            break;
    }
    return 0;
}

LRESULT CALLBACK FolderEditProc(HWND browser, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY)
        OnBrowserDestroy(browser);
    return CallWindowProcA(gBrowsePreviousProc, browser, message, wParam, lParam);
}

bool ChooseFolder(HWND owner, std::string& path, const std::string& suffix) {
    gFolderPath = path;
    gFolderSuffix = suffix;
    BROWSEINFOA browse = {};
    browse.hwndOwner = owner;
    browse.lpfn = FolderBrowseCallback;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    if (!chosen) {
        path.clear();
        return false;
    }
    CoTaskMemFree(chosen);
    path = gFolderPath;
    return true;
}

bool ChoosePath(HWND owner, std::string& path, const char* filter) {
    if (filter)
        return ChooseFile(owner, path, filter);
    return ChooseFolder(owner, path, std::string());
}
