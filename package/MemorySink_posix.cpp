#include <cstdio>
#include <limits>

#include "package/Extract.h"
#include "support/LogSeam.h"
#include "support/StdioFile.h"

// POSIX has no share modes: one plain open stands for both attempts of the Windows half.
bool MemorySink::LoadFile(const char* path) {
    StdioFile file(path, "rb");
    if (!file) {
        WriteLogLine("Error >> Can't load file[%s]\n", path ? path : "");
        return false;
    }
    Release();
    long length = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0)
        length = std::ftell(file.get());
    if (length <= 0 || uint64_t(length) > std::numeric_limits<uint32_t>::max() - 2u ||
        std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return false;
    }
    if (!AllocateForLoad(uint32_t(length)))
        return false;
    bool ok = std::fread(data, 1, size, file.get()) == size;
    if (!ok) {
        Release();
        return false;
    }
    name = path;
    return true;
}
