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

// Owns a new[] buffer until it is handed on.
class ByteBuffer {
  public:
    explicit ByteBuffer(size_t size) : bytes_(new (std::nothrow) unsigned char[size ? size : 1]) {}
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer() { delete[] bytes_; }

    unsigned char* get() const { return bytes_; }
    void reset() {
        delete[] bytes_;
        bytes_ = nullptr;
    }
    unsigned char* release() {
        unsigned char* bytes = bytes_;
        bytes_ = nullptr;
        return bytes;
    }

  private:
    unsigned char* bytes_;
};

// Reads count bytes at offset; returns how many were read. The rest of the buffer is cleared.
size_t ReadBody(const PackageEntry& entry, unsigned char* buffer, size_t count) {
    size_t got = 0;
    StdioFile file(entry.packagePath.c_str(), "rb");
    if (file && entry.bodyOffset >= 0 && std::fseek(file.get(), long(entry.bodyOffset), SEEK_SET) == 0)
        got = std::fread(buffer, 1, count, file.get());
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

namespace {

// The extraction, with or without the package's own message boxes.
bool Extract(const PackageEntry& entry, EntrySink& sink, ExtractReport* report, bool showMessages) {
    ExtractReport local;
    ExtractReport& result = report ? *report : local;
    result = ExtractReport();

    // A size the body cannot yield is a damaged or forged header: nothing is allocated for it, nothing delivered.
    if (!SizeCanBeTrue(entry.originalSize, entry.compressedSize)) {
        result.sizeRefused = true;
        if (showMessages)
            ShowMessage(nullptr, kDecompressText, kDecompressCaption, kMbOk);
        return false;
    }

    ByteBuffer output(entry.originalSize);
    ByteBuffer input(entry.compressedSize);
    if (!output.get() || !input.get())
        return false;

    result.bodyRead = ReadBody(entry, input.get(), entry.compressedSize) == entry.compressedSize;

    // A short read leaves zeros in the buffer, so the digest cannot match and says so.
    result.digestOk = Md5Hex(input.get(), entry.compressedSize) == entry.digest;
    if (!result.digestOk && showMessages)
        ShowMessage(nullptr, entry.name.c_str(), kMd5ErrorCaption, kMbOk);

    size_t produced = 0;
    result.lengthOk = DecompressExact(input.get(), entry.compressedSize, output.get(), entry.originalSize, &produced);
    if (!result.lengthOk) {
        if (showMessages)
            ShowMessage(nullptr, kDecompressText, kDecompressCaption, kMbOk);
        // Only the decompressed prefix means anything; the rest is delivered cleared.
        std::memset(output.get() + produced, 0, entry.originalSize - produced);
    }

    // The input goes before the sink takes the output, so peak memory stays at the two buffers.
    input.reset();

    result.delivered = sink.Accept(kExtractLabel, output.get(), entry.originalSize);
    if (result.delivered)
        output.release();
    return result.delivered;
}

}  // namespace

bool ExtractEntry(const PackageEntry& entry, EntrySink& sink, ExtractReport* report) {
    return Extract(entry, sink, report, true);
}

bool ExtractEntryQuietly(const PackageEntry& entry, EntrySink& sink, ExtractReport* report) {
    return Extract(entry, sink, report, false);
}

bool ExtractByName(const PackageIndex& index, const char* name, EntrySink& sink, ExtractReport* report) {
    if (report)
        *report = ExtractReport();
    std::string key = name ? name : "";
    LowerAsciiDbcs(key);
    auto found = index.find(key);
    if (found == index.end()) {
        ShowMessage(nullptr, name ? name : "", kFindFileCaption, kMbOk);
        return false;
    }
    return ExtractEntry(found->second, sink, report);
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
