#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// What an extraction found; the messages were shown already (Reporter::kMessages). The package tool reads it.
struct ExtractReport {
    bool bodyRead = false;     // all compressedSize bytes were read
    bool digestOk = false;     // the body's MD5 matched the stored digest (or did when the caller checked it)
    bool lengthOk = false;     // the stream decompressed cleanly to exactly originalSize bytes
    bool delivered = false;    // the sink took the buffer
    bool sizeRefused = false;  // the original size is more than the body can yield: nothing was read or allocated

    // The entry's bytes are true: every check passed.
    bool sound() const { return bodyRead && digestOk && lengthOk; }
    // Every check passed and the sink holds the entry's true bytes.
    bool clean() const { return sound() && delivered; }
};

// Owns a new[] buffer until it is handed on. A sequence of check passes reuses one, grown to the largest entry seen
// so far rather than allocated twice per entry.
class ByteBuffer {
  public:
    ByteBuffer() = default;
    ByteBuffer(ByteBuffer&& other) noexcept : bytes_(other.bytes_), capacity_(other.capacity_) {
        other.bytes_ = nullptr;
        other.capacity_ = 0;
    }
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer() { delete[] bytes_; }

    // At least size bytes (one for an empty entry), the old buffer kept when it is large enough; null when memory
    // runs out, and the old buffer is gone then too.
    unsigned char* Reserve(size_t size);
    unsigned char* get() const { return bytes_; }
    void reset();
    // Hands the buffer on (a sink's Accept takes new[] buffers); the object is empty afterwards.
    unsigned char* release();

  private:
    unsigned char* bytes_ = nullptr;
    size_t capacity_ = 0;
};

// How a read tells what it found.
enum class Reporter {
    kMessages,  // the package's message boxes, as each check fails
    kQuiet,     // nothing shown: the caller reads ExtractReport and tells the user itself
};

// The buffers a sequence of check passes (no sink) reuses.
struct ScratchBuffers {
    ByteBuffer input;
    ByteBuffer output;  // after a pass that passed: the entry's unpacked bytes
};

struct ExtractOptions {
    Reporter reporter = Reporter::kMessages;
    // The entry's package file, opened by the caller without write sharing, so that a sequence of reads opens it
    // once; null: the entry's packagePath is opened for each read.
    std::FILE* package = nullptr;
    // The caller compared this entry's digest through package, which nobody could write since: the body is read and
    // decompressed without a second digest. Only bytes that pass every other check are delivered then, since no
    // digest would name the damage.
    bool digestChecked = false;
    // A check pass's buffers; without them the pass allocates its own.
    ScratchBuffers* scratch = nullptr;
    // A check pass that passed: the MD5 (lower-case hex) of the unpacked bytes.
    std::string* unpackedMd5 = nullptr;
};

// The one read of an entry: reads the body, compares its MD5 with the stored digest, decompresses it and hands the
// output to the sink labelled "memory.bin".
//
// With a sink, a failed check is reported as options.reporter says and the extraction goes on (the failed part of
// the output cleared); the result is the sink's Accept, or false when a buffer could not be allocated. An original
// size that the compressed size cannot yield (SizeCanBeTrue) fails the length check before anything is allocated:
// "decompress error!" is shown (kMessages) and the result is false.
//
// Without a sink (a check pass) the read stops at the first failed check and the result is whether every check
// passed; options.scratch keeps the unpacked bytes.
bool ExtractEntry(const PackageEntry& entry,
                  EntrySink* sink,
                  ExtractReport* report,
                  const ExtractOptions& options = ExtractOptions());
inline bool ExtractEntry(const PackageEntry& entry, EntrySink& sink, ExtractReport* report = nullptr) {
    return ExtractEntry(entry, &sink, report);
}

// The entry named name (any capitalisation of ASCII letters) in index; null when it has none.
const PackageEntry* FindEntry(const PackageIndex& index, const char* name);

// Looks name up in gPackageIndex, or in the index given, and extracts it. A missing name shows "Find file in package
// error!" (kMessages) and returns false without touching the sink. report, when given, says what the extraction
// found (all false for a missing name).
bool ExtractByName(const char* name, EntrySink& sink, ExtractReport* report = nullptr);
bool ExtractByName(const PackageIndex& index,
                   const char* name,
                   EntrySink& sink,
                   ExtractReport* report = nullptr,
                   const ExtractOptions& options = ExtractOptions());

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
