// The removal of the pack folder checks handles with calls that came with Windows Vista, the oldest system the
// program's manifest names.
#if _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>

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
const char kTempPrefix[] = "qv";

bool IsFolder(const WIN32_FIND_DATAW& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// path for the W functions; false for an empty path or one that is not GBK, which names no file of ours.
bool WidePath(const char* path, std::wstring& wide) {
    return path && WideFromGbk(path, &wide) && !wide.empty();
}

// Nobody else writes the file while it is being written.
HANDLE CreateForWriting(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The folder part of path, or "" for a bare name; a drive's root keeps its separator ("G:\"), since "G:" alone
// names the drive's current folder. Not DirPartOf: this runs on the worker thread too.
std::string FolderOf(const char* path) {
    std::vector<size_t> separators;
    if (!SeparatorPositions(path, separators) || separators.empty())
        return std::string();
    std::string folder(path, separators.back());
    return IsDriveRoot(folder.c_str()) ? folder + "\\" : folder;
}

// A new, empty file in folder with a name of its own; "" when none can be made.
std::wstring NewFileBeside(const std::string& folder) {
    std::wstring where;
    if (!WidePath(folder.empty() ? "." : folder.c_str(), where))
        return std::wstring();
    wchar_t name[MAX_PATH];
    if (!GetTempFileNameW(where.c_str(), Wide(kTempPrefix).c_str(), 0, name))
        return std::wstring();
    return name;
}

// Writes the bytes into the file made by NewFileBeside and flushes them; the handle is closed before returning.
bool FillAndFlush(const std::wstring& path, const void* bytes, size_t size) {
    ScopedFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && Dependencies().fileWriter(file.get(), bytes, size) && FlushFileBuffers(file.get());
}

// ".", ".." and every other folder whose name starts with a dot are left out of the walks.
bool IsSkippedFolder(const WIN32_FIND_DATAW& data) {
    return data.cFileName[0] == L'.';
}

// The attributes of a file with the read-only one taken away (never zero, which would mean "leave them").
DWORD WritableAttributes(DWORD attributes) {
    const DWORD rest = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
    return rest ? rest : FILE_ATTRIBUTE_NORMAL;
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

// Moving the new file over path failed with error. The system gives "access denied" both for a file another
// program holds (a running program's image) and for one we may not write; opening it to write tells them apart.
FileFault FaultOfFailedReplace(const std::wstring& path, DWORD error) {
    if (error != ERROR_ACCESS_DENIED)
        return FaultOfOpen(error, false);
    ScopedFileHandle probe(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (probe.valid())
        return FileFault::kDenied;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return FileFault::kReadOnly;
    return GetLastError() == ERROR_SHARING_VIOLATION ? FileFault::kInUse : FileFault::kDenied;
}

// The removal below works on the names as the system spells them (UTF-16), so that it reaches every entry of the
// pack folder, one whose name GBK cannot spell included; GBK is only what it reports (ShownName).

// Where the system says an open handle really is ("\\?\C:\Games\SM3\quorvan"), after every link on the way.
bool FinalPathOf(HANDLE handle, std::wstring& path) {
    path.assign(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, &path[0], DWORD(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return false;
        if (length < path.size()) {
            path.resize(length);
            return true;
        }
        path.assign(length + 1, L'\0');
    }
    return false;
}

// Equal but for the case of ASCII letters, as the file system compares the names the installer makes.
bool SamePath(const std::wstring& a, const std::wstring& b) {
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

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

bool SameObject(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// True when final (the final path of a handle opened as name inside the entry's parent) names that very entry. The
// system may spell one folder under two drives (a drive letter that stands for a folder of another drive, as a
// game at a drive root has; Wine picks either), so a final path under another name of the parent counts when its
// last component is the name and the folder above it is the parent itself.
bool IsEntryItself(const Entry& entry, const std::wstring& final) {
    if (SamePath(final, entry.parentFinal + L"\\" + entry.name))
        return true;
    const size_t cut = final.find_last_of(L"\\/");
    if (cut == std::wstring::npos || !SamePath(final.substr(cut + 1), entry.name))
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
    BY_HANDLE_FILE_INFORMATION info;
    std::wstring final;
    if (!GetFileInformationByHandle(handle.get(), &info) || !FinalPathOf(handle.get(), final)) {
        left.push_back({shown, entry.folder, FileFault::kOther});
        return false;
    }
    // A handle that is not exactly the entry of the folder above was opened through a link (the system followed it,
    // as Wine does with the links of the machine it runs on): nothing is done through it.
    if (!IsEntryItself(entry, final)) {
        left.push_back({shown, entry.folder, FileFault::kLink});
        return false;
    }
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = IsLink(info.dwFileAttributes);
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
    if (!link && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
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

bool MakeDirsForPath(const char* path) {
    std::vector<size_t> separators;
    if (!SeparatorPositions(path, separators))
        return false;
    std::wstring prefix;
    for (size_t position : separators) {
        // Existing folders, a drive ("C:") and the empty prefix of a rooted path simply fail here; so does a prefix
        // that is not GBK, which names no folder of ours.
        if (WideFromGbk(path, position, &prefix) && !prefix.empty())
            CreateDirectoryW(prefix.c_str(), nullptr);
    }
    return true;
}

bool WriteAllBytes(HANDLE file, const void* bytes, size_t size) {
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const DWORD chunk = size > kWriteChunk ? kWriteChunk : DWORD(size);
        DWORD written = 0;
        if (!WriteFile(file, next, chunk, &written, nullptr) || written == 0)
            return false;
        next += written;
        size -= written;
    }
    return true;
}

bool WriteFileMakingDirs(const void* bytes, size_t size, const char* path) {
    std::wstring wide;
    if (!WidePath(path, wide) || (size > 0 && !bytes))
        return false;
    ScopedFileHandle file(CreateForWriting(wide));
    if (!file.valid()) {
        if (!MakeDirsForPath(path))
            return false;
        file.Reset(CreateForWriting(wide));
        if (!file.valid())
            return false;
    }
    return Dependencies().fileWriter(file.get(), bytes, size);
}

bool ReplaceFileWith(const void* bytes, size_t size, const char* path, FileFault* fault) {
    FileFault ignored;
    FileFault& why = fault ? *fault : ignored;
    why = FileFault::kNone;
    std::wstring wide;
    if (!WidePath(path, wide) || (size > 0 && !bytes)) {
        why = FileFault::kOther;
        return false;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = FileFault::kOther;
        return false;
    }
    // Moving over a read-only file is refused: the attribute goes first, and comes back when the move fails.
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly && !SetFileAttributesW(wide.c_str(), WritableAttributes(attributes))) {
        why = GetLastError() == ERROR_SHARING_VIOLATION ? FileFault::kInUse : FileFault::kReadOnly;
        return false;
    }

    const std::string folder = FolderOf(path);
    std::wstring fresh = NewFileBeside(folder);
    if (fresh.empty() && MakeDirsForPath(path))
        fresh = NewFileBeside(folder);
    if (!fresh.empty()) {
        if (!FillAndFlush(fresh, bytes, size)) {
            why = FileFault::kOther;
        } else if (MoveFileExW(fresh.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        } else {
            why = FaultOfFailedReplace(wide, GetLastError());
        }
        DeleteFileW(fresh.c_str());
    } else {
        why = GetLastError() == ERROR_ACCESS_DENIED ? FileFault::kDenied : FileFault::kOther;
    }
    if (readOnly)
        SetFileAttributesW(wide.c_str(), attributes);
    return false;
}

bool FileHolds(const char* path, const void* bytes, size_t size) {
    std::wstring wide;
    if (!WidePath(path, wide))
        return false;
    ScopedFileHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER length;
    if (!file.valid() || !GetFileSizeEx(file.get(), &length) || uint64_t(length.QuadPart) != size)
        return false;
    const char* expected = static_cast<const char*>(bytes);
    std::vector<char> chunk(size < kWriteChunk ? size : kWriteChunk);
    for (size_t done = 0; done < size;) {
        DWORD read = 0;
        const DWORD want = DWORD(size - done < chunk.size() ? size - done : chunk.size());
        if (!ReadFile(file.get(), chunk.data(), want, &read, nullptr) || read == 0 ||
            std::memcmp(chunk.data(), expected + done, read) != 0)
            return false;
        done += read;
    }
    return true;
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
    if (!FinalPathOf(top.get(), topFinal)) {
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

void ListFilesRecursive(const char* folder, std::vector<std::string>& list, const char* suffix) {
    std::wstring wide;
    if (!folder || !WideFromGbk(folder, &wide))
        return;
    const std::string base(folder);
    WIN32_FIND_DATAW data;
    ScopedFind search(wide + L"\\*", &data);
    if (!search.found())
        return;
    std::string name;
    do {
        if (!GbkFromWide(data.cFileName, &name))
            continue;  // no GBK path can name it
        std::string path = base + "\\" + name;
        if (!IsFolder(data)) {
            path = LowerAsciiDbcsCopy(path);
            if (!suffix || EndsWith(path.c_str(), suffix))
                list.push_back(path);
        } else if (!IsSkippedFolder(data) && !IsLink(data.dwFileAttributes)) {
            ListFilesRecursive(path.c_str(), list, suffix);
        }
    } while (search.Next(&data));
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
    WIN32_FIND_DATAW data;
    ScopedFind search(wide + L"\\*", &data);
    if (!search.found())
        return;
    std::string name;
    do {
        if (!IsFolder(data) || IsSkippedFolder(data) || !GbkFromWide(data.cFileName, &name))
            continue;
        std::string path = base + "\\" + name;
        if (!IsLink(data.dwFileAttributes))
            ListDirsRecursive(path.c_str(), list);
        list.push_back(LowerAsciiDbcsCopy(path));
    } while (search.Next(&data));
}

bool QueryFreeSpace(const char* folder, uint64_t* bytesAvailable) {
    std::wstring wide;
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (!WidePath(folder, wide) || !GetDiskFreeSpaceExW(wide.c_str(), &available, &total, &free))
        return false;
    *bytesAvailable = available.QuadPart;
    return true;
}
