#include "installer/ResourceLibrary.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "installer/FileHelpers.h"
#include "package/Extract.h"
#include "package/PackNames.h"
#include "support/Captions.h"
#include "support/Gbk.h"
#include "support/MessageSeam.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

const char kResourceInstallExport[] = "?ResourceInstall@@YAX_NPAUHWND__@@PAD@Z";
const char kCreateUserFontExport[] = "?CreateUserFont@@YA_NPBDHH00HHH000@Z";
const char kLibraryChangedText[] = "资源安装库与安装包中的不一致(可能已被改动或替换)，没有加载。请重新安装汉化包：\n";

namespace {

const char kLoadFailedText[] = "无法加载资源安装库：\n";
const char kExportMissingText[] = "资源安装库缺少函数 %s：\n";

void ReportLoadFailure(HWND owner, const std::string& path) {
    const std::string text = kLoadFailedText + path;
    ShowMessage(owner, text.c_str(), kErrorCaption, kMbOk | kMbIconError);
}

void ReportChanged(HWND owner, const std::string& path) {
    const std::string text = kLibraryChangedText + path;
    ShowMessage(owner, text.c_str(), kErrorCaption, kMbOk | kMbIconError);
}

void ReportMissingExport(HWND owner, const std::string& path, const char* name) {
    char head[128];
    std::snprintf(head, sizeof head, kExportMissingText, name);
    const std::string text = head + path;
    ShowMessage(owner, text.c_str(), kErrorCaption, kMbOk | kMbIconError);
}

// The bytes the library must have: the package's own entry, every check passed.
bool ExpectedBytes(MemorySink& sink) {
    std::string key = kLibraryEntry;
    LowerAsciiDbcs(key);
    const auto found = gPackageIndex.find(key);
    if (found == gPackageIndex.end())
        return false;
    ExtractReport report;
    return ExtractEntryQuietly(found->second, sink, &report) && report.clean();
}

// Whether the open file holds exactly expected: its size first, so that nothing larger is ever read.
bool HoldsExactly(HANDLE file, const MemorySink& expected) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart != LONGLONG(expected.size))
        return false;
    constexpr DWORD kPiece = 64 * 1024;
    std::vector<unsigned char> buffer(kPiece);
    unsigned char* piece = buffer.data();
    uint32_t done = 0;
    while (done < expected.size) {
        const DWORD want = expected.size - done < kPiece ? DWORD(expected.size - done) : kPiece;
        DWORD got = 0;
        if (!ReadFile(file, piece, want, &got, nullptr) || got != want ||
            std::memcmp(piece, expected.data + done, want) != 0)
            return false;
        done += want;
    }
    return true;
}

// The library's own imports are looked for in the system folder only. A loader that does not know that flag (Vista
// and 7 before their 2011 loader update) gets the full path with the altered search, which looks beside the library
// first: its imports are all KnownDLLs, which no loader takes from there.
HMODULE LoadFullPath(const std::wstring& path) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER)
        module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module;
}

}  // namespace

// The library is loaded only from an absolute path, and only when the file holds exactly the package's
// "SavePatch.qvx": a file that anyone could have put or changed there (the game folder is shared, "QuorvanInfo" is
// the user's to write) must not run with the installer's rights. Our handle keeps others from writing, renaming or
// deleting the file from the comparison until the loader has mapped it.
HMODULE LoadVerifiedLibrary(const char* libraryPath, HWND owner) {
    const std::string shown(libraryPath ? libraryPath : "");  // the path as the caller joined it
    std::string path = shown;
    UseBackslashes(path);
    std::wstring wide;
    if (!IsAbsolutePath(path.c_str()) || !WideFromGbk(path, &wide)) {
        ReportLoadFailure(owner, shown);
        return nullptr;
    }
    ScopedFileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        ReportLoadFailure(owner, shown);
        return nullptr;
    }
    MemorySink expected;
    if (!ExpectedBytes(expected) || !HoldsExactly(file.get(), expected)) {
        ReportChanged(owner, shown);
        return nullptr;
    }
    if (Dependencies().libraryChecked)
        Dependencies().libraryChecked(path.c_str());
    HMODULE module = LoadFullPath(wide);
    if (!module)
        ReportLoadFailure(owner, shown);
    return module;
}

bool CallResourceInstall(const char* libraryPath, HWND status, char* statusText) {
    const ScopedLibrary library(LoadVerifiedLibrary(libraryPath, nullptr));
    if (!library.get())
        return false;
    FARPROC address = GetProcAddress(library.get(), kResourceInstallExport);
    if (!address) {
        ReportMissingExport(nullptr, libraryPath, "ResourceInstall");
        return false;
    }
    reinterpret_cast<ResourceInstallProc>(reinterpret_cast<void*>(address))(true, status, statusText);
    return true;
}

bool CallCreateUserFont(const char* libraryPath, const UserFontArguments& arguments) {
    return UserFontLibrary(libraryPath, nullptr).Create(arguments);
}

UserFontLibrary::UserFontLibrary(const char* libraryPath, HWND owner)
    : module_(LoadVerifiedLibrary(libraryPath, owner)) {
    if (!module_.get())
        return;
    FARPROC address = GetProcAddress(module_.get(), kCreateUserFontExport);
    if (!address) {
        ReportMissingExport(owner, libraryPath, "CreateUserFont");
        return;
    }
    createUserFont_ = reinterpret_cast<CreateUserFontProc>(reinterpret_cast<void*>(address));
}

bool UserFontLibrary::Create(const UserFontArguments& a) const {
    return createUserFont_ && createUserFont_(a.sizeName, a.width, a.height, a.fontName, a.faceName, a.glyphSize,
                                              a.firstColumn, a.firstRow, a.text, a.targetPath, a.sourcePath);
}
