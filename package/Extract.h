#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/Package.h"

// Receives the bytes of an extraction. A buffer handed to Accept was allocated with new[]; on true the sink
// owns it, on false the caller keeps it.
class EntrySink {
  public:
    virtual ~EntrySink() = default;
    virtual bool Accept(const char* label, unsigned char* buffer, uint32_t size) = 0;
    virtual bool LoadFile(const char* path) = 0;
};

// A file held in memory: the system's one sink. Callers read size, data and name directly.
class MemorySink final : public EntrySink {
  public:
    MemorySink() = default;
    MemorySink(const MemorySink&) = delete;
    MemorySink& operator=(const MemorySink&) = delete;
    ~MemorySink() override { Release(); }

    bool Accept(const char* label, unsigned char* buffer, uint32_t size) override;
    // Fills the sink from a file; the two bytes after the content are zero. False for an empty file.
    bool LoadFile(const char* path) override;
    void Release();

    uint32_t size = 0;
    unsigned char* data = nullptr;
    std::string name;

  private:
    // LoadFile's buffer: fileSize bytes and the two zero bytes after them. False, with the sink empty, when memory
    // runs out.
    bool AllocateForLoad(uint32_t fileSize);
};

// What an extraction found; the messages were shown already. The package tool reads it.
struct ExtractReport {
    bool bodyRead = false;     // all compressedSize bytes were read
    bool digestOk = false;     // the body's MD5 matched the stored digest
    bool lengthOk = false;     // the stream decompressed cleanly to exactly originalSize bytes
    bool delivered = false;    // the sink took the buffer
    bool sizeRefused = false;  // the original size is more than the body can yield: nothing was read or allocated

    // Every check passed: the sink holds the entry's true bytes.
    bool clean() const { return bodyRead && digestOk && lengthOk && delivered; }
};

// Looks name up (any capitalisation of ASCII letters) in gPackageIndex, or in the index given, and extracts it.
// A missing name shows "Find file in package error!" and returns false without touching the sink. report, when
// given, says what the extraction found (all false for a missing name).
bool ExtractByName(const char* name, EntrySink& sink, ExtractReport* report = nullptr);
bool ExtractByName(const PackageIndex& index, const char* name, EntrySink& sink, ExtractReport* report = nullptr);

// Reads, checks and decompresses one entry and hands the output to the sink labelled "memory.bin".
// A failed check shows its message and extraction goes on; the result is the sink's Accept, or false
// when a buffer could not be allocated. An original size that the compressed size cannot yield (SizeCanBeTrue)
// fails the length check before anything is allocated: "decompress error!" is shown and the result is false.
bool ExtractEntry(const PackageEntry& entry, EntrySink& sink, ExtractReport* report = nullptr);

// The same checks and delivery as ExtractEntry without any message box: for a caller that tells the user itself.
bool ExtractEntryQuietly(const PackageEntry& entry, EntrySink& sink, ExtractReport* report = nullptr);

// Whether an LZO1X stream of compressedSize bytes can decompress to originalSize bytes at all (LZO1X yields less
// than kMaxLzoExpansion bytes per stream byte).
constexpr uint64_t kMaxLzoExpansion = 256;
bool SizeCanBeTrue(uint32_t originalSize, uint32_t compressedSize);

// MD5 (RFC 1321) as 32 lower-case hex digits.
std::string Md5Hex(const void* data, size_t size);

// One LZO1X stream into exactly capacity bytes: true only when the stream ends exactly at the last input byte
// and produced exactly capacity bytes. *produced gets what was written (never more than capacity).
bool DecompressExact(const unsigned char* in, size_t inSize, unsigned char* out, size_t capacity, size_t* produced);

// The texts of the package's messages.
extern const char kFindFileCaption[];    // "Find file in package error!"
extern const char kMd5ErrorCaption[];    // "MD5 error!"
extern const char kDecompressText[];     // "decompress error!"
extern const char kDecompressCaption[];  // "out_size don't match"
extern const char kExtractLabel[];       // "memory.bin"
