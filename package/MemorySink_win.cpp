#include <windows.h>

#include <limits>
#include <new>
#include <string>

#include "package/Extract.h"
#include "support/LogSeam.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

namespace {

HANDLE OpenShared(const std::wstring& path, DWORD share) {
    return CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool MemorySink::LoadFile(const char* path) {
    if (!path)
        return false;
    // A path that is not GBK names no file: it cannot be loaded, as a missing one.
    std::wstring wide;
    if (!WideFromGbk(path, &wide) || wide.empty()) {
        WriteLogLine("Error >> Can't load file[%s]\n", path);
        return false;
    }
    ScopedFileHandle file(OpenShared(wide, FILE_SHARE_READ));
    if (!file.valid()) {
        file.Reset(OpenShared(wide, FILE_SHARE_READ | FILE_SHARE_WRITE));
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
