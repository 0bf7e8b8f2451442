#include "support/VistaCalls_win.h"

#include "installer/ResourceLibrary_win.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "installer/FileHelpers.h"
#include "package/Extract.h"
#include "package/PackNames.h"
#include "support/HeldFolder_win.h"
#include "support/Captions.h"
#include "support/Gbk.h"
#include "support/MessageSeam.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

const char kResourceInstallExport[] = "?ResourceInstall@@YAX_NPAUHWND__@@PAD@Z";
const char kCreateUserFontExport[] = "?CreateUserFont@@YA_NPBDHH00HHH000@Z";
const char kLibraryChangedText[] = "资源安装库与安装包中的不一致(可能已被改动或替换)，没有加载。请重新安装汉化包：\n";
const char kResourceIndexName[] = "resource.lst";
// A folder of the path (or the library itself) that is a link, or a path that is not on a drive of this machine.
const char kPathRefusedText[] = "以下路径是链接或不是本机磁盘上的路径, 资源安装库没有加载:\n";
// The library ran but did not finish its index; its own last text follows, then the library's path.
const char kUnfinishedText[] = "资源安装库没有完成资源索引:\n";

namespace {

const char kLoadFailedText[] = "无法加载资源安装库：\n";
const char kExportMissingText[] = "资源安装库缺少函数 %s：\n";

// The library's last text when it has indexed every file ("正在安装资源 100% (3/3)"); a failure it tells instead
// begins with "资源安装失败" (payload/savepatch/SavePatch_win.cpp).
const char kFinishedPrefix[] = "正在安装资源 100% (";
constexpr size_t kStatusTextSize = 512;

void Report(HWND owner, const char* head, const std::string& path) {
    const std::string text = head + path;
    ShowMessage(owner, text.c_str(), kErrorCaption, kMbOk | kMbIconError);
}

void ReportMissingExport(HWND owner, const std::string& path, const char* name) {
    char head[128];
    std::snprintf(head, sizeof head, kExportMissingText, name);
    Report(owner, head, path);
}

// The bytes the library must have: the package's own entry, every check passed.
bool ExpectedBytes(MemorySink& sink) {
    const PackageEntry* entry = FindEntry(gPackageIndex, kLibraryEntry);
    ExtractReport report;
    return entry && ExtractEntry(*entry, &sink, &report, ExtractOptions{Reporter::kQuiet}) && report.clean();
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

// Holds every folder of path ("X:\a\b\SavePatch.qvx", backslashes) from the drive's root down, each opened in the
// one above and checked not to be a link (support/HeldFolder_win.h), into *folders, the library's folder last. Only
// the drive's root is opened by its path: a drive letter that stands for a folder is followed, as the system does.
// False for a path that is not on a drive ("\\server\share", "\\?\", "\\.\"), a folder that is a link or a
// name that is not plain, with *refused the folder that was refused (empty: the path itself); *missing tells a folder
// that is not there (or could not be opened) from one that was refused.
bool HoldFoldersOf(const std::string& path, std::vector<HeldFolder>* folders, std::string* refused, bool* missing) {
    refused->clear();
    *missing = false;
    const bool drive = path.size() > 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && path[2] == '\\';
    if (!drive)
        return false;
    std::vector<std::string> names = SplitPathComponents(path.substr(3));
    names.pop_back();  // the library's own name
    folders->clear();
    folders->reserve(names.size() + 1);
    HeldFailure failure;
    folders->emplace_back();
    if (!folders->back().Open(path.substr(0, 3), &failure)) {
        *missing = failure.fault != HeldFault::kBadName;
        return false;
    }
    for (const std::string& name : names) {
        HeldFolder next;
        if (!folders->back().OpenFolder(name, false, &next, &failure)) {
            *refused = failure.path;
            *missing = failure.fault == HeldFault::kMissing || failure.fault == HeldFault::kDenied ||
                       failure.fault == HeldFault::kInUse || failure.fault == HeldFault::kOther;
            return false;
        }
        folders->push_back(std::move(next));
    }
    return true;
}

}  // namespace

// The library is loaded only from an absolute path on a drive, and only when the file holds exactly the package's
// "SavePatch.qvx": a file that anyone could have put or changed there (the game folder is shared, "QuorvanInfo" is
// the user's to write) must not run with the installer's rights. The loader finds the file by its path once more,
// so from the comparison until the loader has mapped it nothing on that path may change: every folder of it is held
// from the drive's root down (none can be renamed, so no link can take its place), none is a link, and our handle
// on the file keeps others from writing, renaming or deleting it. (Loading a copy from a folder that only
// administrators can write would not do: the library finds the pack folder beside itself.)
HMODULE LoadVerifiedLibrary(const char* libraryPath,
                            HWND owner,
                            std::vector<HeldFolder>* heldFolders,
                            const MemorySink* expected) {
    const std::string shown(libraryPath ? libraryPath : "");  // the path as the caller joined it
    std::string path = shown;
    UseBackslashes(path);
    std::wstring wide;
    if (!IsAbsolutePath(path.c_str()) || !WideFromGbk(path, &wide)) {
        Report(owner, kLoadFailedText, shown);
        return nullptr;
    }
    std::vector<HeldFolder> ownFolders;
    std::vector<HeldFolder>& folders = heldFolders ? *heldFolders : ownFolders;
    std::string refused;
    bool missing = false;
    if (!HoldFoldersOf(path, &folders, &refused, &missing)) {
        folders.clear();
        Report(owner, missing ? kLoadFailedText : kPathRefusedText, missing || refused.empty() ? shown : refused);
        return nullptr;
    }
    // The file itself, opened in its held folder and checked there (a file, not a link, no other name), and held
    // without write or delete sharing until the loader has mapped it.
    const size_t cut = LastPathSeparator(path.data(), path.size());
    ScopedFileHandle file;
    HeldFailure failure;
    if (!folders.back().OpenFile(path.substr(cut + 1), FILE_GENERIC_READ, FILE_SHARE_READ, &file, &failure)) {
        folders.clear();
        const bool linked = failure.fault == HeldFault::kLink || failure.fault == HeldFault::kHardLink ||
                            failure.fault == HeldFault::kBadName || failure.fault == HeldFault::kNotFile;
        Report(owner, linked ? kPathRefusedText : kLoadFailedText, shown);
        return nullptr;
    }
    MemorySink fromPackage;
    if (!expected && ExpectedBytes(fromPackage))
        expected = &fromPackage;
    if (!expected || !HandleHoldsExactly(file.get(), expected->data, expected->size)) {
        folders.clear();
        Report(owner, kLibraryChangedText, shown);
        return nullptr;
    }
    if (Dependencies().libraryChecked)
        Dependencies().libraryChecked(path.c_str());
    HMODULE module = LoadFullPath(wide);
    if (!module) {
        folders.clear();
        Report(owner, kLoadFailedText, shown);
    }
    return module;
}

namespace {

// Whether the library's last text is its finishing line: a failure it tells, a text it did not end within the
// buffer, or any other text is not.
bool SaysFinished(const char* statusText) {
    const size_t length = strnlen(statusText, kStatusTextSize);
    const size_t prefix = sizeof kFinishedPrefix - 1;
    return length < kStatusTextSize && length > prefix && std::memcmp(statusText, kFinishedPrefix, prefix) == 0;
}

// Whether the pack folder holds an index of whole lines, read through the held pack folder.
bool HoldsWholeIndex(const HeldFolder& pack) {
    std::string index;
    return pack.held() && pack.ReadFileBytes(kResourceIndexName, &index) && index.size() >= 2 &&
           index.compare(index.size() - 2, 2, "\r\n") == 0;
}

// The folders of the library's path stay held for the whole call. An index left from an earlier run is removed
// first, so that only this run's can pass the check after it.
bool CallVerifiedResourceInstall(const char* libraryPath, const MemorySink* expected, HWND status, char* statusText) {
    std::vector<HeldFolder> folders;
    const ScopedLibrary library(LoadVerifiedLibrary(libraryPath, nullptr, &folders, expected));
    if (!library.get())
        return false;
    FARPROC address = GetProcAddress(library.get(), kResourceInstallExport);
    if (!address) {
        ReportMissingExport(nullptr, libraryPath, "ResourceInstall");
        return false;
    }
    HeldFolder pack;
    const bool fresh = folders.back().OpenFolder(kPackFolder, false, &pack) && pack.RemoveFile(kResourceIndexName);
    reinterpret_cast<ResourceInstallProc>(reinterpret_cast<void*>(address))(true, status, statusText);
    if (SaysFinished(statusText) && fresh && HoldsWholeIndex(pack))
        return true;
    // The library's own text, when it left one it ended, before the path.
    const size_t length = strnlen(statusText, kStatusTextSize);
    const std::string said = length < kStatusTextSize && length > 0 ? std::string(statusText, length) + "\n" : "";
    Report(nullptr, kUnfinishedText, said + libraryPath);
    return false;
}

}  // namespace

bool CallResourceInstall(const char* libraryPath, HWND status, char* statusText) {
    return CallVerifiedResourceInstall(libraryPath, nullptr, status, statusText);
}

bool CallResourceInstall(const char* libraryPath, const MemorySink& expected, HWND status, char* statusText) {
    return CallVerifiedResourceInstall(libraryPath, &expected, status, statusText);
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
