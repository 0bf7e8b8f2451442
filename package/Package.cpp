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

    // The trailer: one seek to 42 bytes before the end.
    unsigned char trailer[kTrailerSize] = {};
    int64_t trailerStart = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        long end = std::ftell(file.get());
        if (end >= long(kTrailerSize))
            trailerStart = end - long(kTrailerSize);
    }
    FileReader reader(file.get());
    reader.SeekTo(trailerStart);
    reader.Read(trailer, sizeof trailer);
    if (reader.failed() || ReadLe32(trailer) != kPackageMagic) {
        result.status = IndexStatus::kNoPackage;
        return result;
    }
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
