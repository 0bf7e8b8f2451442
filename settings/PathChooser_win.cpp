#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstddef>
#include <cstring>

#include "settings/PathChooser_win.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"
#include "support/SystemText_win.h"

namespace {

constexpr size_t kFileNameSize = 8192;  // characters, terminator included
constexpr int kFolderEditId = 1000;
constexpr int kFolderEditTextSize = 256;  // what is read back from the edit, terminator included
constexpr DWORD kFolderEditExStyle = WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY;
constexpr DWORD kFolderEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr RECT kFolderEditPlace = {10, 15, 10 + 295, 15 + 20};

const char kFileNotGbkText[] = "所选文件的路径含有安装程序无法使用的字符(GBK编码不能表示)，请选择其他文件。";
const char kFolderNotGbkText[] = "所选文件夹的名称含有安装程序无法使用的字符(GBK编码不能表示)，请选择其他文件夹。";

// The open-file description without the fields added after it first appeared: 76 bytes in the 32-bit program.
constexpr DWORD kOpenRequestSize = DWORD(offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR));
static_assert(sizeof(void*) != 4 || kOpenRequestSize == 76, "open-file request size");

// The state of the one chooser that can be open. The dialogs speak UTF-16; the result becomes GBK only when the
// chooser has closed, so that a name GBK cannot spell is refused once, as a whole.
OPENFILENAMEW gOpenRequest;
wchar_t gFileName[kFileNameSize];
std::wstring gFolderPath;    // the selection as shown in the edit; finally the edit's text
std::wstring gFolderSuffix;  // appended to every selected folder
WNDPROC gBrowsePreviousProc = nullptr;

void OnBrowserInitialized(HWND browser) {
    SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(gFolderPath.c_str()));
    HWND edit = CreateWindowExW(
        kFolderEditExStyle, L"edit", gFolderPath.c_str(), kFolderEditStyle, kFolderEditPlace.left, kFolderEditPlace.top,
        kFolderEditPlace.right - kFolderEditPlace.left, kFolderEditPlace.bottom - kFolderEditPlace.top, browser,
        reinterpret_cast<HMENU>(INT_PTR(kFolderEditId)), nullptr, nullptr);
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    gBrowsePreviousProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(browser, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FolderEditProc)));
}

void OnBrowserSelectionChanged(HWND browser, LPARAM item) {
    wchar_t folder[MAX_PATH] = {};
    if (!item || !SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(item), folder))
        return;  // a virtual item: the edit keeps its text
    gFolderPath = std::wstring(folder) + gFolderSuffix;
    SetDlgItemTextW(browser, kFolderEditId, gFolderPath.c_str());
    SendMessageW(browser, WM_MOVE, 0, 0);
}

void OnBrowserDestroy(HWND browser) {
    wchar_t text[kFolderEditTextSize] = {};
    GetDlgItemTextW(browser, kFolderEditId, text, kFolderEditTextSize);
    gFolderPath = text;
}

// The size of a filter list, both closing zero bytes included.
size_t FilterSize(const char* filter) {
    size_t at = 0;
    while (filter[at])
        at += std::strlen(filter + at) + 1;
    return at + 1;
}

// What the user chose, as GBK in path; a choice that GBK cannot spell is told (refusal, owner: the chooser's) and
// leaves path as it was.
bool TakeChoice(HWND owner, const std::wstring& chosen, const char* refusal, std::string& path) {
    std::string gbk;
    if (!GbkFromWide(chosen, &gbk)) {
        ShowMessage(owner, refusal, kErrorCaption, kMbOk | kMbIconError);
        return false;
    }
    path = gbk;
    return true;
}

// The open-file dialog until the user chooses a file whose path GBK can spell, or cancels.
bool ChooseFile(HWND owner, std::string& path, const char* filter) {
    std::wstring wideFilter;
    std::wstring folder;
    WideFromGbk(filter, FilterSize(filter), &wideFilter);  // our own list, embedded zero characters and all
    WideFromGbk(path, &folder);                            // a start that is not GBK: the dialog's own choice
    for (;;) {
        gOpenRequest = OPENFILENAMEW();
        gFileName[0] = L'\0';
        gOpenRequest.lStructSize = kOpenRequestSize;
        gOpenRequest.hwndOwner = owner;
        gOpenRequest.lpstrFilter = wideFilter.c_str();
        gOpenRequest.nFilterIndex = 1;
        gOpenRequest.lpstrFile = gFileName;
        gOpenRequest.nMaxFile = DWORD(kFileNameSize);
        gOpenRequest.lpstrInitialDir = folder.c_str();
        gOpenRequest.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
        if (!GetOpenFileNameW(&gOpenRequest)) {
            path.clear();
            return false;
        }
        if (TakeChoice(owner, gFileName, kFileNotGbkText, path))
            return true;
    }
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
    return CallWindowProcW(gBrowsePreviousProc, browser, message, wParam, lParam);
}

// The browser until the user leaves a folder that GBK can spell in the edit, or cancels; each showing starts from
// the path given.
bool ChooseFolder(HWND owner, std::string& path, const std::string& suffix) {
    std::wstring start;
    WideFromGbk(path, &start);
    gFolderSuffix = Wide(suffix);
    for (;;) {
        gFolderPath = start;
        BROWSEINFOW browse = {};
        browse.hwndOwner = owner;
        browse.lpfn = FolderBrowseCallback;
        LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
        if (!chosen) {
            path.clear();
            return false;
        }
        CoTaskMemFree(chosen);
        if (TakeChoice(owner, gFolderPath, kFolderNotGbkText, path))
            return true;
    }
}

bool ChoosePath(HWND owner, std::string& path, const char* filter) {
    if (filter)
        return ChooseFile(owner, path, filter);
    return ChooseFolder(owner, path, std::string());
}
