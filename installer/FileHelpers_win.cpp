#include "support/VistaCalls_win.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "installer/FileHelpers.h"
#include "installer/FileWrite_win.h"
#include "package/Package.h"
#include "support/Gbk.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

namespace {

constexpr DWORD kWriteChunk = 1u << 20;

bool IsFolder(const WIN32_FIND_DATAW& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// path for the W functions; false for an empty path or one that is not GBK, which names no file of ours.
bool WidePath(const char* path, std::wstring& wide) {
    return path && WideFromGbk(path, &wide) && !wide.empty();
}

// relative with "\" for every separator, as the held folders join names and the failure lists show them.
std::string WithBackslashes(std::string relative) {
    UseBackslashes(relative);
    return relative;
}

// A failed step's path (the held folder's path and the names below it) as a place below root; relative itself
// when the step failed before it named one below the root (a bad name, a root that is not held).
std::string PlaceBelow(const HeldFolder& root, const std::string& path, const std::string& relative) {
    const std::string& top = root.path();
    if (top.empty() || path.size() <= top.size() || path.compare(0, top.size(), top) != 0)
        return WithBackslashes(relative);
    const size_t from = top.size() + (path[top.size()] == '\\' ? 1 : 0);
    return path.substr(from);
}

// A relative path cut at its last separator: the folder part ("" for a bare name) and the file's name.
struct FileInFolder {
    std::string folder;
    std::string name;
};

FileInFolder SplitBelow(const std::string& relative) {
    const size_t cut = LastPathSeparator(relative.data(), relative.size());
    if (cut == kNoSeparator)
        return {std::string(), relative};
    return {relative.substr(0, cut), relative.substr(cut + 1)};
}

// The drive of an absolute path ("C:\Games\SM3\a.exe" gives "C:\"), held, and the rest of the path below it
// ("Games\SM3\a.exe"), whose folders are then opened and checked one by one from the drive's root. False for
// anything but a drive, a separator and a name below it.
bool HoldDriveOf(const char* path, HeldFolder* drive, std::string* relative) {
    if (!path || !IsAbsolutePath(path) || path[0] == '\\' || path[0] == '/' || path[2] == '\0')
        return false;
    *relative = path + 3;
    return !relative->empty() && drive->Open(std::string(path, 3));
}

// ".", ".." and every other folder whose name starts with a dot are left out of the walks.
bool IsSkippedFolder(const WIN32_FIND_DATAW& data) {
    return data.cFileName[0] == L'.';
}

// A file that cannot be opened to write or delete: another program holding it, or a refusal.
FileFault FaultOfOpen(DWORD error, bool folder) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return FileFault::kInUse;
        case ERROR_ACCESS_DENIED:
            return FileFault::kDenied;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_PATH_NOT_FOUND:
            return folder ? FileFault::kNotListed : FileFault::kOther;
        default:
            return FileFault::kOther;
    }
}

// The removal below works on the names as the system spells them (UTF-16), so that it reaches every entry of the
// pack folder, one whose name GBK cannot spell included; GBK is only what it reports (ShownName).

std::wstring WithoutTrailingBackslashes(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

// One thing to remove: name inside the folder at path, whose handle the caller holds and whose final path is
// final; shown is the folder's path as the report names it.
struct Entry {
    const std::wstring& parentPath;
    const std::wstring& parentFinal;
    const std::string& parentShown;
    HANDLE parent;  // held open by the caller
    const std::wstring& name;
    bool folder;  // as the parent's listing says
};

// True when final (the final path of a handle opened as name inside the entry's parent) names that very entry. The
// system may spell one folder under two drives (a drive letter that stands for a folder of another drive, as a
// game at a drive root has; Wine picks either), so a final path under another name of the parent counts when its
// last component is the name and the folder above it is the parent itself. The name is the listing's and both
// final paths are the system's, so the one spelling is compared exactly, case included: a file system that tells
// names apart by case may hold a folder beside the parent whose name differs from the parent's only in case.
bool IsEntryItself(const Entry& entry, const std::wstring& final) {
    if (final == entry.parentFinal + L"\\" + entry.name)
        return true;
    const size_t cut = final.find_last_of(L"\\/");
    if (cut == std::wstring::npos || !SameName(final.substr(cut + 1), entry.name))
        return false;
    std::wstring folder = final.substr(0, cut);
    if (!folder.empty() && folder.back() == L':')
        folder += L'\\';  // "\\?\G:" alone is the volume, not its root folder
    ScopedFileHandle above(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION aboveInfo, parentInfo;
    return above.valid() && GetFileInformationByHandle(above.get(), &aboveInfo) &&
           GetFileInformationByHandle(entry.parent, &parentInfo) && SameObject(aboveInfo, parentInfo);
}

bool RemoveEntry(const Entry& entry, std::vector<LeftBehind>& left);

// One entry of a folder read through its handle: its name as the system spells it, and whether it is a folder.
struct Listed {
    std::wstring name;
    bool folder;
};

// Lists the folder that handle is open on, through that handle (not through its name, which the holder of the
// handle keeps from changing anyway). False when the system does not answer.
bool ListThroughHandle(HANDLE handle, std::vector<Listed>& entries) {
    alignas(8) unsigned char buffer[16384];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(handle, kind, buffer, sizeof buffer))
            return GetLastError() == ERROR_NO_MORE_FILES;
        kind = FileIdBothDirectoryInfo;
        for (size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
            const std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
            if (name != L"." && name != L"..")
                entries.push_back({name, (info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
            if (info->NextEntryOffset == 0)
                break;
            offset += info->NextEntryOffset;
        }
    }
}

// Removes everything inside the folder at path, whose handle the caller holds. True when nothing stays.
bool EmptyFolder(HANDLE handle,
                 const std::wstring& path,
                 const std::wstring& final,
                 const std::string& shown,
                 std::vector<LeftBehind>& left) {
    std::vector<Listed> entries;
    if (!ListThroughHandle(handle, entries)) {
        left.push_back({shown, true, FileFault::kNotListed});
        return false;
    }
    bool empty = true;
    for (const Listed& entry : entries) {
        if (entry.folder && entry.name[0] == L'.') {
            left.push_back({shown + "\\" + ShownName(entry.name), true, FileFault::kNotListed});
            empty = false;
        } else if (!RemoveEntry(Entry{path, final, shown, handle, entry.name, entry.folder}, left)) {
            empty = false;
        }
    }
    return empty;
}

// Deletes through the handle it was checked on: the object that handle is, and nothing a name may lead to now.
bool DeleteByHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool RemoveEntry(const Entry& entry, std::vector<LeftBehind>& left) {
    const std::wstring path = entry.parentPath + L"\\" + entry.name;
    const std::string shown = entry.parentShown + "\\" + ShownName(entry.name);
    // A folder stays open without delete sharing while its contents go: nobody can rename it or put a link in its
    // place. With FILE_FLAG_OPEN_REPARSE_POINT the system opens a link itself rather than what it points at.
    const DWORD access = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE | (entry.folder ? FILE_LIST_DIRECTORY : 0);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (entry.folder ? 0 : FILE_SHARE_DELETE);
    // Windows opens a path of MAX_PATH units or more only with the long-path prefix, which these paths do not have;
    // Wine would open some of them. Refused here alike, the same folder stays on both and is named.
    if (path.size() >= MAX_PATH) {
        left.push_back({shown, entry.folder, FaultOfOpen(ERROR_FILENAME_EXCED_RANGE, entry.folder)});
        return false;
    }
    ScopedFileHandle handle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return true;
        left.push_back({shown, entry.folder, FaultOfOpen(error, entry.folder)});
        return false;
    }
    HandleFacts facts;
    std::wstring final;
    if (!FactsOf(handle.get(), &facts) || !FinalPathOf(handle.get(), &final)) {
        left.push_back({shown, entry.folder, FileFault::kOther});
        return false;
    }
    // A handle that is not exactly the entry of the folder above was opened through a link (the system followed it,
    // as Wine does with the links of the machine it runs on): nothing is done through it.
    if (!IsEntryItself(entry, final)) {
        left.push_back({shown, entry.folder, FileFault::kLink});
        return false;
    }
    const bool folder = (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = IsLink(facts.attributes);
    if (folder && !link) {
        if (Dependencies().folderChecked)
            Dependencies().folderChecked(shown);
        if (!EmptyFolder(handle.get(), path, final, shown, left))
            return false;  // what stays below is named already
    }
    if (DeleteByHandle(handle.get()))
        return true;
    const DWORD error = GetLastError();
    FileFault cause = link ? FileFault::kLink : FaultOfOpen(error, false);
    if (!link && (facts.attributes & FILE_ATTRIBUTE_READONLY))
        cause = FileFault::kReadOnly;
    left.push_back({shown, folder, cause});
    return false;
}

}  // namespace

std::string ShownName(const std::wstring& name) {
    std::string shown;
    std::string piece;
    for (size_t i = 0; i < name.size();) {
        // A character outside the Basic Multilingual Plane is two units, and never GBK.
        const bool pair = name[i] >= 0xD800 && name[i] <= 0xDBFF && i + 1 < name.size();
        const size_t units = pair ? 2 : 1;
        shown += GbkFromWide(name.data() + i, units, &piece) ? piece : std::string("?");
        i += units;
    }
    return shown;
}

DWORD FileAttributesOf(const std::string& path) {
    std::wstring wide;
    return WidePath(path.c_str(), wide) ? GetFileAttributesW(wide.c_str()) : INVALID_FILE_ATTRIBUTES;
}

FileFault FileFaultOf(HeldFault fault) {
    switch (fault) {
        case HeldFault::kNone:
            return FileFault::kNone;
        case HeldFault::kLink:
        case HeldFault::kHardLink:
            return FileFault::kLink;
        case HeldFault::kInUse:
            return FileFault::kInUse;
        case HeldFault::kDenied:
            return FileFault::kDenied;
        default:
            return FileFault::kOther;
    }
}

bool WriterBelow::Put(const std::string& relative, const void* bytes, size_t size, Refusal* refusal) {
    HeldFailure failure;
    const bool put = PutThrough(relative, bytes, size, &failure);
    if (refusal) {
        refusal->fault = FileFaultOf(failure.fault);
        refusal->place = put ? std::string() : PlaceBelow(root_, failure.path, relative);
        // The system refuses to clear the read-only attribute of a file it will not let us write: the player can.
        if (failure.fault == HeldFault::kDenied && refusal->place == WithBackslashes(relative)) {
            const DWORD attributes = FileAttributesOf(failure.path);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
                refusal->fault = FileFault::kReadOnly;
        }
    }
    return put;
}

bool WriterBelow::PutThrough(const std::string& relative, const void* bytes, size_t size, HeldFailure* failure) {
    if (!IsSafeEntryName(relative)) {
        *failure = HeldFailure{HeldFault::kBadName, std::string()};
        return false;
    }
    const FileInFolder file = SplitBelow(relative);
    if (file.folder.empty())
        return root_.PutFile(file.name, bytes, size, PutMode::kReplace, failure, Dependencies().fileWriter);
    return Hold(file.folder, true, failure) &&
           held_.PutFile(file.name, bytes, size, PutMode::kReplace, failure, Dependencies().fileWriter);
}

bool WriterBelow::Remove(const std::string& relative, Refusal* refusal) {
    HeldFailure failure;
    const FileInFolder file = SplitBelow(relative);
    bool removed = false;
    if (file.name.empty())
        failure = HeldFailure{HeldFault::kBadName, std::string()};
    else if (file.folder.empty())
        removed = root_.RemoveFile(file.name, &failure);
    else if (!Hold(file.folder, false, &failure))
        removed = failure.fault == HeldFault::kMissing;  // nothing there to remove
    else
        removed = held_.RemoveFile(file.name, &failure);
    if (refusal)
        *refusal = removed ? Refusal() : Refusal{FileFaultOf(failure.fault), PlaceBelow(root_, failure.path, relative)};
    return removed;
}

bool WriterBelow::Hold(const std::string& folder, bool create, HeldFailure* failure) {
    if (held_.held() && folder == folderName_)
        return true;
    folderName_.clear();
    held_ = HeldFolder();
    if (!root_.OpenFolders(folder, create, &held_, failure))
        return false;
    folderName_ = folder;
    return true;
}

bool PutBelow(const HeldFolder& root, const std::string& relative, const void* bytes, size_t size, Refusal* refusal) {
    return WriterBelow(root).Put(relative, bytes, size, refusal);
}

bool HoldsBelow(const HeldFolder& root, const std::string& relative, const void* bytes, size_t size) {
    std::string held;
    HeldFolder folder;
    const FileInFolder file = SplitBelow(relative);
    if (file.name.empty() || (!file.folder.empty() && !root.OpenFolders(file.folder, false, &folder)))
        return false;
    const HeldFolder& in = file.folder.empty() ? root : folder;
    return in.ReadFileBytes(file.name, &held) && held.size() == size &&
           (size == 0 || std::memcmp(held.data(), bytes, size) == 0);
}

bool RemoveBelow(const HeldFolder& root, const std::string& relative, Refusal* refusal) {
    return WriterBelow(root).Remove(relative, refusal);
}

bool RemoveLeftoversBelow(const HeldFolder& root, const std::string& relative, Refusal* refusal) {
    HeldFailure failure;
    HeldFolder folder;
    bool removed = false;
    if (relative.empty())
        removed = root.RemoveLeftovers(&failure);
    else if (!root.OpenFolders(relative, false, &folder, &failure))
        removed = failure.fault == HeldFault::kMissing;
    else
        removed = folder.RemoveLeftovers(&failure);
    if (refusal) {
        // A folder that could not be listed is named by its path; the root's, relative to itself, would be empty.
        const std::string place = PlaceBelow(root, failure.path, relative);
        *refusal = removed ? Refusal() : Refusal{FileFaultOf(failure.fault), place.empty() ? root.path() : place};
    }
    return removed;
}

bool MakeDirsForPath(const char* path) {
    std::vector<size_t> separators;
    HeldFolder drive;
    std::string relative;
    if (!SeparatorPositions(path, separators) || !HoldDriveOf(path, &drive, &relative))
        return false;
    const FileInFolder file = SplitBelow(relative);
    HeldFolder last;
    return file.folder.empty() || drive.OpenFolders(file.folder, true, &last);
}

bool WriteFileMakingDirs(const void* bytes, size_t size, const char* path) {
    std::vector<size_t> separators;
    HeldFolder drive;
    std::string relative;
    return SeparatorPositions(path, separators) && HoldDriveOf(path, &drive, &relative) &&
           PutBelow(drive, relative, bytes, size);
}

bool ReplaceFileWith(const void* bytes, size_t size, const char* path, FileFault* fault) {
    HeldFolder drive;
    std::string relative;
    Refusal refusal;
    const bool put = HoldDriveOf(path, &drive, &relative) && PutBelow(drive, relative, bytes, size, &refusal);
    if (fault)
        *fault = put ? FileFault::kNone : (refusal.fault == FileFault::kNone ? FileFault::kOther : refusal.fault);
    return put;
}

bool FileHolds(const char* path, const void* bytes, size_t size) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return false;
    ScopedFileHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && HandleHoldsExactly(file.get(), bytes, size);
}

std::string WithoutTrailingSeparators(std::string path) {
    for (;;) {
        const size_t last = LastPathSeparator(path.data(), path.size());
        if (path.empty() || last != path.size() - 1)
            return path;
        path.pop_back();
    }
}

bool RemoveWithoutFollowingLinks(const std::string& parent, const char* name, std::vector<LeftBehind>& left) {
    // "G:" would be the current folder of drive G, "G:\" is its root: the folder is opened by the latter and joined
    // to names by the former.
    const std::string base = WithoutTrailingSeparators(parent);
    const std::string path = base + "\\" + name;
    const std::string folder = (!base.empty() && base.back() == ':') ? base + "\\" : base;
    std::wstring wideBase, wideFolder, wideName;
    if (!WideFromGbk(base, &wideBase) || !WidePath(folder.c_str(), wideFolder) || !WidePath(name, wideName)) {
        left.push_back({path, true, FileFault::kOther});
        return false;
    }
    // The parent is opened the ordinary way: a game reached through a junction is still the user's game.
    ScopedFileHandle top(CreateFileW(wideFolder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!top.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return true;
        left.push_back({path, true, FaultOfOpen(error, true)});
        return false;
    }
    std::wstring topFinal;
    if (!FinalPathOf(top.get(), &topFinal)) {
        left.push_back({path, true, FileFault::kOther});
        return false;
    }
    // The root of a drive ends in a separator ("\\?\G:\"); names are joined to it without one.
    topFinal = WithoutTrailingBackslashes(topFinal);
    WIN32_FIND_DATAW data;
    ScopedFind search(wideBase + L"\\" + wideName, &data);
    if (!search.found())
        return true;
    return RemoveEntry(Entry{wideBase, topFinal, base, top.get(), std::wstring(data.cFileName), IsFolder(data)}, left);
}

namespace {

// Calls visit(data, name) for each entry of the folder wide that a GBK path can name, with that name.
template <typename Visit>
void ForEachGbkNamed(const std::wstring& wide, Visit visit) {
    WIN32_FIND_DATAW data;
    ScopedFind search(wide + L"\\*", &data);
    if (!search.found())
        return;
    std::string name;
    do {
        if (GbkFromWide(data.cFileName, &name))
            visit(data, name);
    } while (search.Next(&data));
}

}  // namespace

void ListFilesRecursive(const char* folder, std::vector<std::string>& list, const char* suffix) {
    std::wstring wide;
    if (!folder || !WideFromGbk(folder, &wide))
        return;
    const std::string base(folder);
    ForEachGbkNamed(wide, [&](const WIN32_FIND_DATAW& data, const std::string& name) {
        std::string path = base + "\\" + name;
        if (!IsFolder(data)) {
            path = LowerAsciiDbcsCopy(path);
            if (!suffix || EndsWith(path.c_str(), suffix))
                list.push_back(path);
        } else if (!IsSkippedFolder(data) && !IsLink(data.dwFileAttributes)) {
            ListFilesRecursive(path.c_str(), list, suffix);
        }
    });
}

void ListDirsRecursive(const char* folder, std::vector<std::string>& list) {
    if (!folder)
        return;
    std::string base(folder);
    if (base.empty()) {
        wchar_t current[MAX_PATH];
        DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
        if (length == 0 || length >= MAX_PATH || !GbkFromWide(current, length, &base))
            return;
    }
    std::wstring wide;
    if (!WidePath(base.c_str(), wide))
        return;
    ForEachGbkNamed(wide, [&](const WIN32_FIND_DATAW& data, const std::string& name) {
        if (!IsFolder(data) || IsSkippedFolder(data))
            return;
        const std::string path = base + "\\" + name;
        if (!IsLink(data.dwFileAttributes))
            ListDirsRecursive(path.c_str(), list);
        list.push_back(LowerAsciiDbcsCopy(path));
    });
}

bool QueryFreeSpace(const char* folder, uint64_t* bytesAvailable) {
    std::wstring wide;
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (!WidePath(folder, wide) || !GetDiskFreeSpaceExW(wide.c_str(), &available, &total, &free))
        return false;
    *bytesAvailable = available.QuadPart;
    return true;
}
