#include "package/Package.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "package/BufferedFileReader.h"
#include "package/PeHeaders.h"
#include "support/Gbk.h"
#include "support/LittleEndian.h"
#include "support/StdioFile.h"

PackageIndex gPackageIndex;

namespace {

constexpr unsigned char kScrambleKey[] = "mossy stonesRiver Bend";  // 22 characters and the NUL: 23 bytes
constexpr size_t kScrambleKeySize = sizeof kScrambleKey;
static_assert(kScrambleKeySize == 23, "the key is 22 characters and its terminator");

// The position of the NUL that ends the string starting at from, or count when there is none.
size_t FindTerminator(const unsigned char* bytes, size_t from, size_t count) {
    const void* nul = from < count ? std::memchr(bytes + from, 0, count - from) : nullptr;
    return nul ? size_t(static_cast<const unsigned char*>(nul) - bytes) : count;
}

int64_t FileLength(std::FILE* file) {
    return std::fseek(file, 0, SEEK_END) == 0 ? int64_t(std::ftell(file)) : -1;
}

CertificateTable ReadCertificateTable(BufferedFileReader& reader, int64_t fileSize) {
    const CertificateTable none;
    unsigned char dosHeader[pe::kDosHeaderSize];
    if (fileSize < int64_t(sizeof dosHeader))
        return none;
    reader.SeekTo(0);
    reader.Read(dosHeader, sizeof dosHeader);
    if (reader.failed() || ReadLe16(dosHeader) != pe::kDosMagic)
        return none;

    // The signature, the COFF header and the optional header's magic.
    unsigned char peHeader[pe::kSignatureSize + pe::kCoffHeaderSize + 2];
    const int64_t peHeaderOffset = ReadLe32(dosHeader + pe::kHeaderOffsetField);
    if (peHeaderOffset > fileSize - int64_t(sizeof peHeader))
        return none;
    reader.SeekTo(peHeaderOffset);
    reader.Read(peHeader, sizeof peHeader);
    if (reader.failed() || ReadLe32(peHeader) != pe::kSignature)
        return none;
    const size_t optionalHeaderSize = ReadLe16(peHeader + pe::kSignatureSize + pe::kCoffOptionalHeaderSize);
    const uint16_t magic = ReadLe16(peHeader + pe::kSignatureSize + pe::kCoffHeaderSize);
    const pe::OptionalHeaderShape* shape = pe::OptionalHeaderShapeOf(magic);
    if (!shape)
        return none;
    const size_t entry = shape->directories + pe::kDirectorySecurity * pe::kDataDirectoryEntrySize;
    const int64_t optionalHeader = peHeaderOffset + int64_t(pe::kSignatureSize + pe::kCoffHeaderSize);
    const int64_t headersEnd = optionalHeader + int64_t(entry + pe::kDataDirectoryEntrySize);
    if (optionalHeaderSize < entry + pe::kDataDirectoryEntrySize || headersEnd > fileSize)
        return none;

    unsigned char directoryCount[4];
    unsigned char directory[pe::kDataDirectoryEntrySize];
    reader.SeekTo(optionalHeader + int64_t(shape->directoryCountField));
    reader.Read(directoryCount, sizeof directoryCount);
    reader.SeekTo(optionalHeader + int64_t(entry));
    reader.Read(directory, sizeof directory);
    if (reader.failed())
        return none;
    CertificateTable table;
    table.peImage = true;
    if (ReadLe32(directoryCount) <= pe::kDirectorySecurity)
        return table;  // no security directory at all

    table.offset = ReadLe32(directory + pe::kDataDirectoryAddress);
    table.size = ReadLe32(directory + pe::kDataDirectorySize);
    if (table.offset == 0 && table.size == 0)
        return table;
    // The table lies after the headers and runs exactly to the end of the file.
    const bool endsFile = table.size != 0 && table.offset >= headersEnd && table.offset + table.size == fileSize;
    table.state = endsFile ? CertificateState::kEndsFile : CertificateState::kMisplaced;
    return table;
}

// The offset of the trailer: in the last 42 bytes before packageEnd, or, when mostPadding allows it, followed by up
// to that many zero bytes there. Copies it to trailer; -1 when there is none.
int64_t FindTrailer(BufferedFileReader& reader,
                    int64_t packageEnd,
                    size_t mostPadding,
                    unsigned char (&trailer)[kTrailerSize]) {
    const int64_t tailStart = std::max<int64_t>(0, packageEnd - int64_t(kTrailerSize + mostPadding));
    const size_t tailSize = packageEnd > tailStart ? size_t(packageEnd - tailStart) : 0;
    reader.SeekTo(tailStart);
    const unsigned char* tail = reader.Take(tailSize);
    for (size_t padding = 0; tail && padding <= mostPadding && tailSize >= kTrailerSize + padding; ++padding) {
        if (padding > 0 && tail[tailSize - padding] != 0)
            break;  // the bytes between the trailer and the table are all zero
        const size_t at = tailSize - padding - kTrailerSize;
        if (ReadLe32(tail + at) == kPackageMagic) {
            std::memcpy(trailer, tail + at, kTrailerSize);
            return tailStart + int64_t(at);
        }
    }
    return -1;
}

// What reading one record found.
struct RecordStep {
    IndexStatus status = IndexStatus::kOk;
    bool endMarker = false;
    int64_t next = 0;  // the position of the record after it
};

// Reads the record at position, which must end by recordsEnd, into entry (its name normalised).
RecordStep ReadRecord(BufferedFileReader& reader, int64_t position, int64_t recordsEnd, PackageEntry* entry) {
    RecordStep step;
    reader.SeekTo(position);
    const unsigned char* lengthField = reader.Take(4);
    if (!lengthField || position + 4 > recordsEnd) {
        step.status = IndexStatus::kTruncated;
        return step;
    }
    const int32_t length = static_cast<int32_t>(ReadLe32(lengthField));
    if (length == kEndMarker) {
        step.endMarker = true;
        return step;
    }
    // A header holds the fixed fields and three terminated strings, and fits the buffer.
    if (length < int32_t(kHeaderFixedSize + 3) || length > int32_t(kMaxHeaderSize)) {
        step.status = IndexStatus::kBadRecord;
        return step;
    }
    const size_t count = size_t(length);
    const unsigned char* scrambled = reader.Take(count);
    if (!scrambled) {
        step.status = IndexStatus::kTruncated;
        return step;
    }
    unsigned char header[kMaxHeaderSize];
    std::memcpy(header, scrambled, count);
    DescrambleHeader(header, count);

    const size_t digestEnd = FindTerminator(header, kHeaderFixedSize, count);
    const size_t part1End = digestEnd < count ? FindTerminator(header, digestEnd + 1, count) : count;
    const size_t part2End = part1End < count ? FindTerminator(header, part1End + 1, count) : count;
    if (part2End >= count) {
        step.status = IndexStatus::kBadRecord;
        return step;
    }
    entry->originalSize = ReadLe32(header + 4);
    entry->compressedSize = ReadLe32(header + 8);
    const int64_t bodyOffset = position + 4 + length;
    step.next = bodyOffset + int64_t(entry->compressedSize);
    if (step.next > recordsEnd) {
        step.status = IndexStatus::kTruncated;
        return step;
    }
    entry->bodyOffset = static_cast<int32_t>(bodyOffset);
    entry->digest.assign(reinterpret_cast<const char*>(header + kHeaderFixedSize), digestEnd - kHeaderFixedSize);
    // The two parts hold no NUL: the name is their bytes side by side, lower-cased.
    char name[kMaxHeaderSize];
    const size_t part1Size = part1End - digestEnd - 1;
    const size_t part2Size = part2End - part1End - 1;
    std::memcpy(name, header + digestEnd + 1, part1Size);
    std::memcpy(name + part1Size, header + part1End + 1, part2Size);
    LowerAsciiDbcs(name, part1Size + part2Size);
    entry->name.assign(name, part1Size + part2Size);
    return step;
}

}  // namespace

void DescrambleHeader(unsigned char* bytes, size_t count) {
    // The key repeated over a whole number of its periods, so that the XOR runs over plain arrays.
    struct RepeatedKey {
        unsigned char bytes[kScrambleKeySize * 24];
        constexpr RepeatedKey() : bytes() {
            for (size_t i = 0; i < sizeof bytes; ++i)
                bytes[i] = kScrambleKey[i % kScrambleKeySize];
        }
    };
    static constexpr RepeatedKey kRepeated;
    for (size_t done = 0; done < count;) {
        const size_t block = std::min(count - done, sizeof kRepeated.bytes);
        for (size_t i = 0; i < block; ++i)
            bytes[done + i] ^= kRepeated.bytes[i];
        done += block;
    }
}

CertificateTable ReadCertificateTable(std::FILE* file, int64_t fileSize) {
    BufferedFileReader reader(file);
    return ReadCertificateTable(reader, fileSize);
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

namespace {

// The walk of IndexPackageFile and IndexPackageBytes: the certificate table, the trailer and the records of the
// fileEnd bytes that reader reads, each entry's packagePath set to packagePath.
IndexResult WalkPackage(BufferedFileReader& reader, int64_t fileEnd, const char* packagePath, PackageIndex& index) {
    IndexResult result;
    if (fileEnd >= 0)
        result.certificate = ReadCertificateTable(reader, fileEnd);
    if (result.certificate.state == CertificateState::kMisplaced) {
        result.status = IndexStatus::kNoPackage;
        return result;
    }

    // The trailer ends the file, or lies before a certificate table that ends it.
    const bool signedFile = result.certificate.state == CertificateState::kEndsFile;
    unsigned char trailer[kTrailerSize];
    const int64_t trailerStart = FindTrailer(reader, signedFile ? result.certificate.offset : fileEnd,
                                             signedFile ? kCertificateAlignment - 1 : 0, trailer);
    if (trailerStart < 0) {
        result.status = IndexStatus::kNoPackage;
        return result;
    }
    // Records may only lie between the image and the trailer, and every position must fit the entry's
    // signed 32-bit body offset.
    const int64_t recordsEnd = std::min<int64_t>(trailerStart, std::numeric_limits<int32_t>::max());

    result.status = IndexStatus::kOk;
    int64_t position = ReadLe32(trailer + 4);  // directoryOffset
    auto hint = index.end();  // a package packed in name order inserts each entry right after the one before
    for (;;) {
        PackageEntry entry;
        const RecordStep step = ReadRecord(reader, position, recordsEnd, &entry);
        if (step.status != IndexStatus::kOk) {
            result.status = step.status;
            result.stopOffset = position;
            break;
        }
        if (step.endMarker)
            break;
        entry.packagePath = packagePath;
        std::string key = entry.name;
        hint = std::next(index.insert_or_assign(hint, std::move(key), std::move(entry)));
        ++result.records;
        position = step.next;
    }
    return result;
}

}  // namespace

IndexResult IndexPackageFile(const char* path, PackageIndex& index) {
    StdioFile file(path, "rb");
    if (!file) {
        IndexResult result;
        result.status = IndexStatus::kCannotOpen;
        return result;
    }
    // The reader is the stream's buffer: without one of stdio's below it, each of its reads is one read of the file.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    BufferedFileReader reader(file.get());
    return WalkPackage(reader, FileLength(file.get()), path, index);
}

IndexResult IndexPackageBytes(const unsigned char* bytes,
                              size_t size,
                              const char* packagePathLabel,
                              PackageIndex& index) {
    BufferedFileReader reader(bytes, size);
    return WalkPackage(reader, bytes ? int64_t(size) : 0, packagePathLabel ? packagePathLabel : "", index);
}
