// Indexes an arbitrary file as a package and extracts every entry it finds: nothing may read or write outside
// its buffers, loop, or leak, whatever the bytes. Every size a header claims is tried: the index keeps each body
// inside the file and the extraction refuses an original size the body cannot yield, so no buffer grows beyond
// 256 times the input.
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "package/Extract.h"
#include "package/Package.h"
#include "support/MessageSeam.h"

namespace {

int Silent(void*, const char*, const char*, unsigned) {
    return kIdOk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/qv-fuzz-package-" + std::to_string(getpid()) + ".bin";
    SetMessageHandler(Silent);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    PackageIndex index;
    IndexPackageFile(path.c_str(), index);
    MemorySink sink;
    for (const auto& item : index) {
        const PackageEntry& entry = item.second;
        ExtractEntry(entry, sink);
        std::string upper = item.first;
        for (char& c : upper)
            c = char(c >= 'a' && c <= 'z' ? c - 0x20 : c);
        ExtractByName(index, upper.c_str(), sink);
    }
    ExtractByName(index, "no such entry", sink);
    return 0;
}
