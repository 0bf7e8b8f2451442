#include "package/EntryCheck.h"

#include <cstdio>
#include <memory>
#include <new>

#include "support/StdioFile.h"

namespace {

std::unique_ptr<unsigned char[]> Allocate(uint32_t size) {
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[size ? size : 1]);
}

// The whole body into buffer, from package or from the entry's file opened now; false on a short read.
bool ReadWholeBody(const PackageEntry& entry, unsigned char* buffer, std::FILE* package) {
    StdioFile opened(package ? nullptr : entry.packagePath.c_str(), "rb");
    std::FILE* file = package ? package : opened.get();
    if (!file || entry.bodyOffset < 0 || std::fseek(file, long(entry.bodyOffset), SEEK_SET) != 0)
        return false;
    return std::fread(buffer, 1, entry.compressedSize, file) == entry.compressedSize;
}

// Reads and decompresses the entry into a new buffer of exactly originalSize bytes, without the digest. Null on
// any failure.
std::unique_ptr<unsigned char[]> Decode(const PackageEntry& entry, std::FILE* package) {
    if (!SizesPlausible(entry))
        return nullptr;
    std::unique_ptr<unsigned char[]> input = Allocate(entry.compressedSize);
    if (!input || !ReadWholeBody(entry, input.get(), package))
        return nullptr;
    std::unique_ptr<unsigned char[]> output = Allocate(entry.originalSize);
    size_t produced = 0;
    if (!output || !DecompressExact(input.get(), entry.compressedSize, output.get(), entry.originalSize, &produced))
        return nullptr;
    return output;
}

}  // namespace

// Grown, never shrunk: the allocator is asked once per new largest entry rather than twice per entry.
unsigned char* ScratchBuffer::Reserve(uint32_t size) {
    if (bytes_ && size <= capacity_)
        return bytes_.get();
    bytes_.reset();
    capacity_ = 0;
    bytes_ = Allocate(size);
    if (bytes_)
        capacity_ = size;
    return bytes_.get();
}

bool SizesPlausible(const PackageEntry& entry) {
    // An empty file is stored as a stream of a few bytes; a stream with no bytes at all yields nothing.
    return SizeCanBeTrue(entry.originalSize, entry.compressedSize);
}

bool CheckEntryQuietly(const PackageEntry& entry, CheckBuffers& buffers, std::FILE* package, std::string* unpackedMd5) {
    if (!SizesPlausible(entry))
        return false;
    unsigned char* input = buffers.input.Reserve(entry.compressedSize);
    unsigned char* output = buffers.output.Reserve(entry.originalSize);
    size_t produced = 0;
    const bool sound = input && output && ReadWholeBody(entry, input, package) &&
                       Md5Hex(input, entry.compressedSize) == entry.digest &&
                       DecompressExact(input, entry.compressedSize, output, entry.originalSize, &produced);
    if (sound && unpackedMd5)
        *unpackedMd5 = Md5Hex(output, entry.originalSize);
    return sound;
}

bool CheckEntryQuietly(const PackageEntry& entry) {
    CheckBuffers buffers;
    return CheckEntryQuietly(entry, buffers);
}

bool ExtractCheckedEntry(const PackageEntry& entry, EntrySink& sink, std::FILE* package) {
    std::unique_ptr<unsigned char[]> output = Decode(entry, package);
    if (!output || !sink.Accept(kExtractLabel, output.get(), entry.originalSize))
        return false;
    output.release();  // the sink owns it now
    return true;
}
