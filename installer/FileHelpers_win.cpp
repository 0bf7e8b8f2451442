#include <windows.h>

#include <cstdio>
#include <cstring>

#include "installer/FileHelpers.h"
#include "package/Package.h"
#include "support/Win32Handles.h"

namespace {

bool IsFolder(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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

bool WriteFileMakingDirs(const void* bytes, size_t size, const char* path) {
    if (!path || (size > 0 && !bytes))
        return false;
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        if (!MakeDirsForPath(path))
            return false;
        file = std::fopen(path, "wb");
        if (!file)
            return false;
    }
    bool complete = size == 0 || std::fwrite(bytes, 1, size, file) == size;
    // Closing flushes what the stream still buffers; a full disk may only show up here.
    bool closed = std::fclose(file) == 0;
    return complete && closed;
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
        } else if (!IsSkippedFolder(data)) {
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
        ListDirsRecursive(path.c_str(), list);
        list.push_back(Lowered(path));
    } while (search.Next(&data));
}
