#include <windows.h>

#include <cstring>

#include "installer/FileHelpers.h"
#include "installer/FileWrite_win.h"
#include "package/Package.h"
#include "support/Win32Handles.h"

FileWriter gFileWriter = WriteAllBytes;

namespace {

constexpr DWORD kWriteChunk = 1u << 20;
const char kTempPrefix[] = "qv";

bool IsFolder(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A junction or a symbolic link: what lies behind it is somewhere else.
bool IsLink(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Nobody else writes the file while it is being written.
HANDLE CreateForWriting(const char* path) {
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
std::string NewFileBeside(const std::string& folder) {
    char name[MAX_PATH];
    const std::string where = folder.empty() ? std::string(".") : folder;
    if (!GetTempFileNameA(where.c_str(), kTempPrefix, 0, name))
        return std::string();
    return name;
}

// Writes the bytes into the file made by NewFileBeside and flushes them; the handle is closed before returning.
bool FillAndFlush(const std::string& path, const void* bytes, size_t size) {
    ScopedFileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && gFileWriter(file.get(), bytes, size) && FlushFileBuffers(file.get());
}

// ".", ".." and every other folder whose name starts with a dot are left out of the walks.
bool IsSkippedFolder(const WIN32_FIND_DATAA& data) {
    return data.cFileName[0] == '.';
}

std::string Lowered(std::string path) {
    LowerAsciiDbcs(path);
    return path;
}

}  // namespace

bool MakeDirsForPath(const char* path) {
    std::vector<size_t> separators;
    if (!SeparatorPositions(path, separators))
        return false;
    char prefix[kMaxDirPrefix + 1];
    for (size_t position : separators) {
        std::memset(prefix, 0, sizeof prefix);
        std::memcpy(prefix, path, position);
        // Existing folders, a drive ("C:") and the empty prefix of a rooted path simply fail here.
        CreateDirectoryA(prefix, nullptr);
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
    if (!path || (size > 0 && !bytes))
        return false;
    ScopedFileHandle file(CreateForWriting(path));
    if (!file.valid()) {
        if (!MakeDirsForPath(path))
            return false;
        file.Reset(CreateForWriting(path));
        if (!file.valid())
            return false;
    }
    return gFileWriter(file.get(), bytes, size);
}

bool ReplaceFileWith(const void* bytes, size_t size, const char* path) {
    if (!path || !*path || (size > 0 && !bytes))
        return false;
    // The system would replace a read-only file on some file systems and refuse on others; it is the user's.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;

    const std::string folder = FolderOf(path);
    std::string fresh = NewFileBeside(folder);
    if (fresh.empty()) {
        if (!MakeDirsForPath(path))
            return false;
        fresh = NewFileBeside(folder);
        if (fresh.empty())
            return false;
    }
    if (FillAndFlush(fresh, bytes, size) &&
        MoveFileExA(fresh.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(fresh.c_str());
    return false;
}

void ListFilesRecursive(const char* folder, std::vector<std::string>& list, const char* suffix) {
    if (!folder)
        return;
    const std::string base(folder);
    WIN32_FIND_DATAA data;
    ScopedFind search(base + "\\*", &data);
    if (!search.found())
        return;
    do {
        std::string path = base + "\\" + data.cFileName;
        if (!IsFolder(data)) {
            path = Lowered(path);
            if (!suffix || EndsWith(path.c_str(), suffix))
                list.push_back(path);
        } else if (!IsSkippedFolder(data) && !IsLink(data)) {
            ListFilesRecursive(path.c_str(), list, suffix);
        }
    } while (search.Next(&data));
}

void ListDirsRecursive(const char* folder, std::vector<std::string>& list) {
    if (!folder)
        return;
    std::string base(folder);
    if (base.empty()) {
        char current[MAX_PATH];
        DWORD length = GetCurrentDirectoryA(sizeof current, current);
        if (length == 0 || length >= sizeof current)
            return;
        base.assign(current, length);
    }
    WIN32_FIND_DATAA data;
    ScopedFind search(base + "\\*", &data);
    if (!search.found())
        return;
    do {
        if (!IsFolder(data) || IsSkippedFolder(data))
            continue;
        std::string path = base + "\\" + data.cFileName;
        if (!IsLink(data))
            ListDirsRecursive(path.c_str(), list);
        list.push_back(Lowered(path));
    } while (search.Next(&data));
}
