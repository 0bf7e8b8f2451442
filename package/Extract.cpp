#include "package/Extract.h"

#include <cstdio>
#include <cstring>
#include <new>

#include <lzo/lzo1x.h>
#include <md5.h>

#include "support/HexText.h"
#include "support/MessageSeam.h"
#include "support/StdioFile.h"

const char kFindFileCaption[] = "Find file in package error!";
const char kMd5ErrorCaption[] = "MD5 error!";
const char kDecompressText[] = "decompress error!";
const char kDecompressCaption[] = "out_size don't match";
const char kExtractLabel[] = "memory.bin";

namespace {

// Reads the body into buffer, from package or from the entry's file opened now; returns how many bytes were read.
// The rest of the buffer is cleared.
size_t ReadBody(const PackageEntry& entry, unsigned char* buffer, std::FILE* package) {
    const size_t count = entry.compressedSize;
    size_t got = 0;
    StdioFile opened(package ? nullptr : entry.packagePath.c_str(), "rb");
    std::FILE* file = package ? package : opened.get();
    if (file && entry.bodyOffset >= 0 && std::fseek(file, long(entry.bodyOffset), SEEK_SET) == 0)
        got = std::fread(buffer, 1, count, file);
    if (got < count)
        std::memset(buffer + got, 0, count - got);
    return got;
}

// The densest LZO1X instruction is a match whose length runs on in zero bytes: k of them, the marker, the last
// length byte and the two distance bytes (k + 4 bytes) copy 255 k + 288 bytes. Literals copy one byte per byte and
// the shorter matches far fewer, so no stream yields as much as 255 bytes per byte it holds; kMaxLzoExpansion (256)
// leaves room.

bool LzoReady() {
    static const bool ready = lzo_init() == LZO_E_OK;
    return ready;
}

}  // namespace

std::string Md5Hex(const void* data, size_t size) {
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, static_cast<const uint8_t*>(data), size);
    uint8_t digest[MD5_DIGEST_LENGTH];
    MD5Final(digest, &context);
    return LowerHex(digest, MD5_DIGEST_LENGTH);
}

bool SizeCanBeTrue(uint32_t originalSize, uint32_t compressedSize) {
    return uint64_t(originalSize) <= uint64_t(compressedSize) * kMaxLzoExpansion;
}

bool DecompressExact(const unsigned char* in, size_t inSize, unsigned char* out, size_t capacity, size_t* produced) {
    *produced = 0;
    if (!LzoReady())
        return false;
    lzo_uint outLength = capacity;
    int rc = lzo1x_decompress_safe(in, lzo_uint(inSize), out, &outLength, nullptr);
    if (outLength <= capacity)
        *produced = size_t(outLength);
    // LZO_E_OK means the end-of-stream marker ended exactly at the last input byte.
    return rc == LZO_E_OK && outLength == capacity;
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        delete[] bytes_;
        bytes_ = other.bytes_;
        capacity_ = other.capacity_;
        other.bytes_ = nullptr;
        other.capacity_ = 0;
    }
    return *this;
}

unsigned char* ByteBuffer::Reserve(size_t size) {
    const size_t wanted = size ? size : 1;
    if (bytes_ && wanted <= capacity_)
        return bytes_;
    reset();
    bytes_ = new (std::nothrow) unsigned char[wanted];
    capacity_ = bytes_ ? wanted : 0;
    return bytes_;
}

void ByteBuffer::reset() {
    delete[] bytes_;
    bytes_ = nullptr;
    capacity_ = 0;
}

unsigned char* ByteBuffer::release() {
    unsigned char* bytes = bytes_;
    bytes_ = nullptr;
    capacity_ = 0;
    return bytes;
}

bool ExtractEntry(const PackageEntry& entry, EntrySink* sink, ExtractReport* report, const ExtractOptions& options) {
    ExtractReport local;
    ExtractReport& result = report ? *report : local;
    result = ExtractReport();
    const bool showMessages = options.reporter == Reporter::kMessages;
    // A check pass stops at the first failure: there is nothing to deliver, only an answer.
    const bool checkOnly = sink == nullptr;

    // A size the body cannot yield is a damaged or forged header: nothing is allocated for it, nothing delivered.
    if (!SizeCanBeTrue(entry.originalSize, entry.compressedSize)) {
        result.sizeRefused = true;
        if (showMessages)
            ShowMessage(nullptr, kDecompressText, kDecompressCaption, kMbOk);
        return false;
    }

    ScratchBuffers own;
    ScratchBuffers& buffers = checkOnly && options.scratch ? *options.scratch : own;
    unsigned char* output = buffers.output.Reserve(entry.originalSize);
    unsigned char* input = buffers.input.Reserve(entry.compressedSize);
    if (!output || !input)
        return false;

    result.bodyRead = ReadBody(entry, input, options.package) == entry.compressedSize;
    if (checkOnly && !result.bodyRead)
        return false;

    if (options.digestChecked) {
        result.digestOk = true;
    } else {
        // A short read leaves zeros in the buffer, so the digest cannot match and says so.
        result.digestOk = Md5Hex(input, entry.compressedSize) == entry.digest;
        if (!result.digestOk && showMessages)
            ShowMessage(nullptr, entry.name.c_str(), kMd5ErrorCaption, kMbOk);
        if (checkOnly && !result.digestOk)
            return false;
    }

    size_t produced = 0;
    result.lengthOk = DecompressExact(input, entry.compressedSize, output, entry.originalSize, &produced);
    if (!result.lengthOk) {
        if (showMessages)
            ShowMessage(nullptr, kDecompressText, kDecompressCaption, kMbOk);
        // Only the decompressed prefix means anything; the rest is delivered cleared.
        std::memset(output + produced, 0, entry.originalSize - produced);
    }

    if (checkOnly) {
        if (result.sound() && options.unpackedMd5)
            *options.unpackedMd5 = Md5Hex(output, entry.originalSize);
        return result.sound();
    }
    // Without the digest only a whole, exactly decompressed body stands for the bytes that were checked.
    if (options.digestChecked && !result.sound())
        return false;

    // The input goes before the sink takes the output, so peak memory stays at the two buffers.
    buffers.input.reset();
    result.delivered = sink->Accept(kExtractLabel, output, entry.originalSize);
    if (result.delivered)
        buffers.output.release();
    return result.delivered;
}

const PackageEntry* FindEntry(const PackageIndex& index, const char* name) {
    const auto found = index.find(LowerAsciiDbcsCopy(name ? name : ""));
    return found == index.end() ? nullptr : &found->second;
}

bool ExtractByName(const PackageIndex& index,
                   const char* name,
                   EntrySink& sink,
                   ExtractReport* report,
                   const ExtractOptions& options) {
    if (report)
        *report = ExtractReport();
    const PackageEntry* entry = FindEntry(index, name);
    if (!entry) {
        if (options.reporter == Reporter::kMessages)
            ShowMessage(nullptr, name ? name : "", kFindFileCaption, kMbOk);
        return false;
    }
    return ExtractEntry(*entry, &sink, report, options);
}

bool ExtractByName(const char* name, EntrySink& sink, ExtractReport* report) {
    return ExtractByName(gPackageIndex, name, sink, report);
}

bool MemorySink::Accept(const char* label, unsigned char* buffer, uint32_t bufferSize) {
    if (!label || !buffer)
        return false;
    std::string labelCopy = label;  // the label may point into the name being replaced
    if (buffer != data)
        Release();
    name = std::move(labelCopy);
    data = buffer;
    size = bufferSize;
    return true;
}

bool MemorySink::AllocateForLoad(uint32_t fileSize) {
    data = new (std::nothrow) unsigned char[size_t(fileSize) + 2];
    if (!data) {
        size = 0;
        return false;
    }
    size = fileSize;
    data[size] = 0;
    data[size + 1] = 0;
    return true;
}

void MemorySink::Release() {
    delete[] data;
    data = nullptr;
    size = 0;
    name.clear();
}
