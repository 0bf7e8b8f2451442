// Indexes an arbitrary file as a package and extracts every entry it finds: nothing may read or write outside
// its buffers, loop, or leak, whatever the bytes. Every size a header claims is tried: the index keeps each body
// inside the file and the extraction refuses an original size the body cannot yield, so no buffer grows beyond
// 256 times the input.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "package/Extract.h"
#include "package/Package.h"
#include "support/MessageSeam.h"

namespace {

int Silent(void*, const char*, const char*, unsigned) {
    return kIdOk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetMessageHandler(Silent);
    // The index is walked in memory, and the bodies are read through a stream over the same bytes: no file.
    PackageIndex index;
    IndexPackageBytes(data, size, "fuzz-input.bin", index);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(
        size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : nullptr, std::fclose);
    ExtractOptions options;
    options.package = stream.get();
    MemorySink sink;
    for (const auto& item : index) {
        const PackageEntry& entry = item.second;
        ExtractEntry(entry, &sink, nullptr, options);
        ExtractEntry(entry, nullptr, nullptr, options);  // the check pass
        std::string upper = item.first;
        for (char& c : upper)
            c = char(c >= 'a' && c <= 'z' ? c - 0x20 : c);
        ExtractByName(index, upper.c_str(), sink, nullptr, options);
    }
    ExtractByName(index, "no such entry", sink);
    return 0;
}
