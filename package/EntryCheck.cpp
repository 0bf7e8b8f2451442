#include "package/EntryCheck.h"

#include <cstdio>
#include <memory>
#include <new>

#include "support/StdioFile.h"

namespace {

std::unique_ptr<unsigned char[]> Allocate(uint32_t size) {
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[size ? size : 1]);
}

// The whole body into buffer; false on a short read.
bool ReadWholeBody(const PackageEntry& entry, unsigned char* buffer) {
    StdioFile file(entry.packagePath.c_str(), "rb");
    if (!file || entry.bodyOffset < 0 || std::fseek(file.get(), long(entry.bodyOffset), SEEK_SET) != 0)
        return false;
    return std::fread(buffer, 1, entry.compressedSize, file.get()) == entry.compressedSize;
}

// Reads and decompresses the entry into a new buffer of originalSize bytes, comparing the digest on the way when
// asked to. Null on any failure.
std::unique_ptr<unsigned char[]> Decode(const PackageEntry& entry, bool compareDigest) {
    if (!SizesPlausible(entry))
        return nullptr;
    std::unique_ptr<unsigned char[]> input = Allocate(entry.compressedSize);
    if (!input || !ReadWholeBody(entry, input.get()))
        return nullptr;
    if (compareDigest && Md5Hex(input.get(), entry.compressedSize) != entry.digest)
        return nullptr;
    std::unique_ptr<unsigned char[]> output = Allocate(entry.originalSize);
    size_t produced = 0;
    if (!output || !DecompressExact(input.get(), entry.compressedSize, output.get(), entry.originalSize, &produced))
        return nullptr;
    return output;
}

}  // namespace

bool SizesPlausible(const PackageEntry& entry) {
    // An empty file is stored as a stream of a few bytes; a stream with no bytes at all yields nothing.
    return uint64_t(entry.originalSize) <= uint64_t(entry.compressedSize) * kMaxLzoExpansion;
}

bool CheckEntryQuietly(const PackageEntry& entry) {
    return Decode(entry, true) != nullptr;
}

bool ExtractCheckedEntry(const PackageEntry& entry, EntrySink& sink) {
    std::unique_ptr<unsigned char[]> output = Decode(entry, false);
    if (!output || !sink.Accept(kExtractLabel, output.get(), entry.originalSize))
        return false;
    output.release();  // the sink owns it now
    return true;
}
