#include <windows.h>

#include <limits>
#include <new>

#include "package/Extract.h"
#include "support/LogSeam.h"
#include "support/Win32Handles.h"

namespace {

HANDLE OpenShared(const char* path, DWORD share) {
    return CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool MemorySink::LoadFile(const char* path) {
    if (!path)
        return false;
    ScopedFileHandle file(OpenShared(path, FILE_SHARE_READ));
    if (!file.valid()) {
        file.Reset(OpenShared(path, FILE_SHARE_READ | FILE_SHARE_WRITE));
        if (!file.valid()) {
            WriteLogLine("Error >> Can't load file[%s]\n", path);
            return false;
        }
        WriteLogLine("Warning >> Open file[%s] using share violence\n", path);
    }
    Release();

    LARGE_INTEGER length;
    if (!GetFileSizeEx(file.get(), &length) || length.QuadPart <= 0 ||
        uint64_t(length.QuadPart) > std::numeric_limits<uint32_t>::max() - 2u)
        return false;
    if (!AllocateForLoad(uint32_t(length.QuadPart)))
        return false;
    DWORD got = 0;
    if (!ReadFile(file.get(), data, size, &got, nullptr) || got != size) {
        Release();
        return false;
    }
    name = path;
    return true;
}
