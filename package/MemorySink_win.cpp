#include <windows.h>

#include <limits>
#include <new>

#include "package/Extract.h"
#include "support/LogSeam.h"

namespace {

HANDLE OpenShared(const char* path, DWORD share) {
    return CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Closes the handle on every way out of LoadFile.
struct ScopedHandle {
    HANDLE handle;
    ~ScopedHandle() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

}  // namespace

bool MemorySink::LoadFile(const char* path) {
    if (!path)
        return false;
    ScopedHandle file{OpenShared(path, FILE_SHARE_READ)};
    if (file.handle == INVALID_HANDLE_VALUE) {
        file.handle = OpenShared(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (file.handle == INVALID_HANDLE_VALUE) {
            WriteLogLine("Error >> Can't load file[%s]\n", path);
            return false;
        }
        WriteLogLine("Warning >> Open file[%s] using share violence\n", path);
    }
    Release();

    LARGE_INTEGER length;
    if (!GetFileSizeEx(file.handle, &length) || length.QuadPart <= 0 ||
        uint64_t(length.QuadPart) > std::numeric_limits<uint32_t>::max() - 2u)
        return false;
    size = uint32_t(length.QuadPart);
    data = new (std::nothrow) unsigned char[size_t(size) + 2];
    if (!data) {
        size = 0;
        return false;
    }
    data[size] = 0;
    data[size + 1] = 0;
    DWORD got = 0;
    if (!ReadFile(file.handle, data, size, &got, nullptr) || got != size) {
        Release();
        return false;
    }
    name = path;
    return true;
}
