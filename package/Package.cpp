#include "package/Package.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "support/Gbk.h"
#include "support/StdioFile.h"

PackageIndex gPackageIndex;

namespace {

constexpr unsigned char kScrambleKey[] = "mossy stonesRiver Bend";  // 22 characters and the NUL: 23 bytes
constexpr size_t kScrambleKeySize = sizeof kScrambleKey;
static_assert(kScrambleKeySize == 23, "the key is 22 characters and its terminator");

uint32_t ReadLe32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t ReadLe16(const unsigned char* p) {
    return uint16_t(p[0] | p[1] << 8);
}

// The PE headers as far as the security directory needs them:
//
//   0      2   "MZ"
//   0x3C   4   e_lfanew: file offset of the PE signature
//   e_lfanew:
//   +0     4   "PE\0\0"
//   +4     20  COFF header; SizeOfOptionalHeader at its offset 16
//   +24        optional header: Magic (0x10B PE32, 0x20B PE32+), NumberOfRvaAndSizes and the data directories at
//              offsets that depend on the magic; each directory entry is 8 bytes (address, size), and entry 4,
//              the security directory, holds a file offset
constexpr uint16_t kDosMagic = 0x5A4D;
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kPeHeaderOffsetField = 0x3C;
constexpr uint32_t kPeSignature = 0x00004550;
constexpr size_t kPeSignatureSize = 4;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kOptionalHeaderSizeField = 16;
constexpr size_t kSecurityDirectoryIndex = 4;
constexpr size_t kDirectoryEntrySize = 8;

struct OptionalHeaderShape {
    uint16_t magic;
    size_t directoryCountField;  // NumberOfRvaAndSizes
    size_t directories;          // the first data directory entry
};
constexpr OptionalHeaderShape kOptionalHeaderShapes[] = {
    {0x10B, 92, 96},    // PE32: the shipped i686 program
    {0x20B, 108, 112},  // PE32+: the x86_64 build
};

// Reads from a stdio stream; the first short read or failed seek sets a flag that stays set, so a group of
// reads is checked once.
class FileReader {
  public:
    explicit FileReader(std::FILE* file) : file_(file) {}

    void Read(void* buffer, size_t count) {
        if (failed_)
            return;
        if (std::fread(buffer, 1, count, file_) != count)
            failed_ = true;
    }
    void SeekTo(int64_t offset) {
        if (failed_)
            return;
        if (offset < 0 || offset > std::numeric_limits<long>::max() || std::fseek(file_, long(offset), SEEK_SET) != 0)
            failed_ = true;
    }
    int64_t Tell() const { return std::ftell(file_); }
    bool failed() const { return failed_; }

  private:
    std::FILE* file_;
    bool failed_ = false;
};

// Finds the NUL that ends the string starting at from; returns its position or count when there is none.
size_t FindTerminator(const unsigned char* bytes, size_t from, size_t count) {
    for (size_t i = from; i < count; ++i) {
        if (bytes[i] == 0)
            return i;
    }
    return count;
}

}  // namespace

void DescrambleHeader(unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        bytes[i] ^= kScrambleKey[i % kScrambleKeySize];
}

void LowerAsciiDbcs(char* text) {
    if (text)
        LowerAsciiGbk(text, std::strlen(text));
}

void LowerAsciiDbcs(std::string& text) {
    // The walk stops at the first NUL, as for a C string.
    LowerAsciiGbk(&text[0], std::strlen(text.c_str()));
}

CertificateTable ReadCertificateTable(std::FILE* file, int64_t fileSize) {
    const CertificateTable none;
    FileReader reader(file);
    unsigned char dosHeader[kDosHeaderSize];
    if (fileSize < int64_t(sizeof dosHeader))
        return none;
    reader.SeekTo(0);
    reader.Read(dosHeader, sizeof dosHeader);
    if (reader.failed() || ReadLe16(dosHeader) != kDosMagic)
        return none;

    // The signature, the COFF header and the optional header's magic.
    unsigned char peHeader[kPeSignatureSize + kCoffHeaderSize + 2];
    const int64_t peHeaderOffset = ReadLe32(dosHeader + kPeHeaderOffsetField);
    if (peHeaderOffset > fileSize - int64_t(sizeof peHeader))
        return none;
    reader.SeekTo(peHeaderOffset);
    reader.Read(peHeader, sizeof peHeader);
    if (reader.failed() || ReadLe32(peHeader) != kPeSignature)
        return none;
    const size_t optionalHeaderSize = ReadLe16(peHeader + kPeSignatureSize + kOptionalHeaderSizeField);
    const uint16_t magic = ReadLe16(peHeader + kPeSignatureSize + kCoffHeaderSize);
    const OptionalHeaderShape* shape = nullptr;
    for (const OptionalHeaderShape& candidate : kOptionalHeaderShapes) {
        if (candidate.magic == magic)
            shape = &candidate;
    }
    if (!shape)
        return none;
    const size_t entry = shape->directories + kSecurityDirectoryIndex * kDirectoryEntrySize;
    const int64_t optionalHeader = peHeaderOffset + int64_t(kPeSignatureSize + kCoffHeaderSize);
    const int64_t headersEnd = optionalHeader + int64_t(entry + kDirectoryEntrySize);
    if (optionalHeaderSize < entry + kDirectoryEntrySize || headersEnd > fileSize)
        return none;

    unsigned char directoryCount[4];
    unsigned char directory[kDirectoryEntrySize];
    reader.SeekTo(optionalHeader + int64_t(shape->directoryCountField));
    reader.Read(directoryCount, sizeof directoryCount);
    reader.SeekTo(optionalHeader + int64_t(entry));
    reader.Read(directory, sizeof directory);
    if (reader.failed())
        return none;
    CertificateTable table;
    table.peImage = true;
    if (ReadLe32(directoryCount) <= kSecurityDirectoryIndex)
        return table;  // no security directory at all

    table.offset = ReadLe32(directory);
    table.size = ReadLe32(directory + 4);
    if (table.offset == 0 && table.size == 0)
        return table;
    // The table lies after the headers and runs exactly to the end of the file.
    const bool endsFile = table.size != 0 && table.offset >= headersEnd && table.offset + table.size == fileSize;
    table.state = endsFile ? CertificateState::kEndsFile : CertificateState::kMisplaced;
    return table;
}

const char* IndexStatusText(IndexStatus status) {
    switch (status) {
        case IndexStatus::kOk:
            return "ok";
        case IndexStatus::kCannotOpen:
            return "cannot be opened";
        case IndexStatus::kNoPackage:
            return "has no package (trailer magic missing)";
        case IndexStatus::kBadRecord:
            return "has a malformed record header";
        case IndexStatus::kTruncated:
            return "ends before the package's end marker";
    }
    return "?";
}

IndexResult IndexPackageFile(const char* path, PackageIndex& index) {
    IndexResult result;
    StdioFile file(path, "rb");
    if (!file) {
        result.status = IndexStatus::kCannotOpen;
        return result;
    }

    int64_t fileEnd = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0)
        fileEnd = std::ftell(file.get());
    if (fileEnd >= 0)
        result.certificate = ReadCertificateTable(file.get(), fileEnd);
    if (result.certificate.state == CertificateState::kMisplaced) {
        result.status = IndexStatus::kNoPackage;
        return result;
    }

    // The trailer: the last 42 bytes of the file, or of what lies before a certificate table that ends the file,
    // with up to 7 zero bytes after it there. One read of the bytes where it can lie.
    const bool signedFile = result.certificate.state == CertificateState::kEndsFile;
    const int64_t packageEnd = signedFile ? result.certificate.offset : fileEnd;
    const size_t mostPadding = signedFile ? kCertificateAlignment - 1 : 0;
    unsigned char tail[kTrailerSize + kCertificateAlignment - 1];
    const int64_t tailStart = std::max<int64_t>(0, packageEnd - int64_t(kTrailerSize + mostPadding));
    const size_t tailSize = packageEnd > tailStart ? size_t(packageEnd - tailStart) : 0;
    FileReader reader(file.get());
    reader.SeekTo(tailStart);
    reader.Read(tail, tailSize);
    int64_t trailerStart = -1;
    for (size_t padding = 0; !reader.failed() && padding <= mostPadding && tailSize >= kTrailerSize + padding;
         ++padding) {
        if (padding > 0 && tail[tailSize - padding] != 0)
            break;  // the bytes between the trailer and the table are all zero
        const size_t at = tailSize - padding - kTrailerSize;
        if (ReadLe32(tail + at) == kPackageMagic) {
            trailerStart = tailStart + int64_t(at);
            break;
        }
    }
    if (trailerStart < 0) {
        result.status = IndexStatus::kNoPackage;
        return result;
    }
    const unsigned char* trailer = tail + (trailerStart - tailStart);
    // Records may only lie between the image and the trailer, and every position must fit the entry's
    // signed 32-bit body offset.
    const int64_t recordsEnd = std::min<int64_t>(trailerStart, std::numeric_limits<int32_t>::max());
    const int64_t directoryOffset = ReadLe32(trailer + 4);

    unsigned char header[kMaxHeaderSize];
    int64_t position = directoryOffset;
    result.status = IndexStatus::kOk;
    reader.SeekTo(position);
    for (;;) {
        unsigned char lengthField[4];
        reader.Read(lengthField, sizeof lengthField);
        if (reader.failed() || position + 4 > recordsEnd) {
            result.status = IndexStatus::kTruncated;
            break;
        }
        const int32_t length = static_cast<int32_t>(ReadLe32(lengthField));
        if (length == kEndMarker)
            break;
        // A header holds the fixed fields and three terminated strings, and fits the buffer.
        if (length < int32_t(kHeaderFixedSize + 3) || length > int32_t(kMaxHeaderSize)) {
            result.status = IndexStatus::kBadRecord;
            break;
        }
        reader.Read(header, size_t(length));
        if (reader.failed()) {
            result.status = IndexStatus::kTruncated;
            break;
        }
        DescrambleHeader(header, size_t(length));

        const size_t count = size_t(length);
        const size_t digestEnd = FindTerminator(header, kHeaderFixedSize, count);
        const size_t part1End = digestEnd < count ? FindTerminator(header, digestEnd + 1, count) : count;
        const size_t part2End = part1End < count ? FindTerminator(header, part1End + 1, count) : count;
        if (part2End >= count) {
            result.status = IndexStatus::kBadRecord;
            break;
        }

        PackageEntry entry;
        entry.packagePath = path;
        entry.originalSize = ReadLe32(header + 4);
        entry.compressedSize = ReadLe32(header + 8);
        const int64_t bodyOffset = position + 4 + length;
        const int64_t bodyEnd = bodyOffset + int64_t(entry.compressedSize);
        if (bodyEnd > recordsEnd) {
            result.status = IndexStatus::kTruncated;
            break;
        }
        entry.bodyOffset = static_cast<int32_t>(bodyOffset);
        entry.digest.assign(reinterpret_cast<const char*>(header + kHeaderFixedSize), digestEnd - kHeaderFixedSize);
        entry.name.assign(reinterpret_cast<const char*>(header + digestEnd + 1), part1End - digestEnd - 1);
        entry.name.append(reinterpret_cast<const char*>(header + part1End + 1), part2End - part1End - 1);
        LowerAsciiDbcs(entry.name);

        std::string key = entry.name;
        index.insert_or_assign(std::move(key), std::move(entry));
        ++result.records;

        position = bodyEnd;
        reader.SeekTo(position);
    }
    if (result.status != IndexStatus::kOk)
        result.stopOffset = position;
    return result;
}
