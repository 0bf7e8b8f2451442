#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes packages in the format that package/Package.h describes (and the installer reads).

enum class CompressionLevel {
    kFast,  // LZO1X-1: packs about 100 times faster, installs faster, a few percent larger
    kBest,  // LZO1X-999: the smallest package
};

// How one record is written. The defaults produce what the installer expects; the other fields exist so that
// tests can build every shape a reader must accept.
struct RecordSpec {
    std::string name;                      // GBK, "\" separators
    size_t nameSplit = std::string::npos;  // where name part 2 begins; npos: after the last separator
    std::string extraHeaderBytes;          // uninterpreted bytes after name part 2
    uint32_t reserved = 0;                 // the 4 header bytes the reader ignores
    bool upperCaseDigest = false;          // store the digest in capitals (never matches on extraction)
};

// Compresses data as one LZO1X stream. False only when the library cannot start or allocate.
bool CompressLzo1x(const unsigned char* data, size_t size, CompressionLevel level, std::vector<unsigned char>* out);

// Checks a stored name: safe to write below a folder (the entry-name rule of support/Gbk.h) and short enough for a
// 512-byte header. On false *why says what is wrong.
bool CheckEntryName(const std::string& name, std::string* why);

class PackageWriter {
  public:
    explicit PackageWriter(CompressionLevel level) : level_(level) {}

    // Takes an open binary stream; writes the executable image first (empty for a bare package).
    bool Begin(std::FILE* out, const unsigned char* image, size_t imageSize);
    // Compresses and writes one record.
    bool Add(const RecordSpec& recordSpec, const unsigned char* data, size_t size, std::string* why);
    // Writes a record whose body is given as stored (tests: damaged or foreign streams).
    bool AddStored(const RecordSpec& recordSpec,
                   uint32_t originalSize,
                   const std::vector<unsigned char>& body,
                   std::string* why);
    // End marker and trailer. The stream stays open.
    bool Finish();

    size_t records() const { return records_; }
    uint64_t bytesWritten() const { return position_; }

  private:
    bool Write(const void* bytes, size_t count);

    CompressionLevel level_;
    std::FILE* out_ = nullptr;
    uint32_t directoryOffset_ = 0;
    std::string imageDigest_;
    uint64_t position_ = 0;
    size_t records_ = 0;
    bool failed_ = false;
    std::vector<unsigned char> scratch_;
    std::vector<unsigned char> workMemory_;
};
