#include "tools/packtool/PackageWriter.h"

#include <cstring>
#include <limits>

#include <lzo/lzo1x.h>

#include "package/Extract.h"
#include "package/Package.h"
#include "support/Gbk.h"
#include "support/LittleEndian.h"

namespace {

// Where name part 2 begins by default: just after the last separator (0 when there is none).
size_t DefaultSplit(const std::string& name) {
    const size_t last = LastPathSeparator(name.data(), name.size());
    return last == kNoSeparator ? 0 : last + 1;
}

size_t HeaderSize(const RecordSpec& recordSpec) {
    return kHeaderFixedSize + 32 + 1 + recordSpec.name.size() + 2 + recordSpec.extraHeaderBytes.size();
}

}  // namespace

bool CompressLzo1x(const unsigned char* data, size_t size, CompressionLevel level, std::vector<unsigned char>* out) {
    static const bool ready = lzo_init() == LZO_E_OK;
    if (!ready)
        return false;
    std::vector<unsigned char> work(level == CompressionLevel::kBest ? LZO1X_999_MEM_COMPRESS : LZO1X_1_MEM_COMPRESS);
    out->resize(size + size / 16 + 64 + 3);
    lzo_uint outSize = 0;
    static const unsigned char kEmpty = 0;
    const unsigned char* in = size ? data : &kEmpty;
    int rc = level == CompressionLevel::kBest ? lzo1x_999_compress(in, size, out->data(), &outSize, work.data())
                                              : lzo1x_1_compress(in, size, out->data(), &outSize, work.data());
    if (rc != LZO_E_OK)
        return false;
    out->resize(outSize);
    return true;
}

bool CheckEntryName(const std::string& name, std::string* why) {
    const EntryNameFault fault = FindEntryNameFault(name);
    if (fault != EntryNameFault::kNone) {
        *why = EntryNameFaultText(fault);
        return false;
    }
    RecordSpec recordSpec;
    recordSpec.name = name;
    if (HeaderSize(recordSpec) > kMaxHeaderSize) {
        *why = "the name is too long for a 512-byte record header";
        return false;
    }
    return true;
}

bool PackageWriter::Write(const void* bytes, size_t count) {
    if (failed_)
        return false;
    if (count && std::fwrite(bytes, 1, count, out_) != count)
        failed_ = true;
    position_ += count;
    return !failed_;
}

bool PackageWriter::Begin(std::FILE* out, const unsigned char* image, size_t imageSize) {
    out_ = out;
    if (imageSize > std::numeric_limits<int32_t>::max())
        return false;
    directoryOffset_ = uint32_t(imageSize);
    imageDigest_ = Md5Hex(image, imageSize);
    return Write(image, imageSize);
}

bool PackageWriter::Add(const RecordSpec& recordSpec, const unsigned char* data, size_t size, std::string* why) {
    if (size > std::numeric_limits<uint32_t>::max()) {
        *why = "the file is larger than 4 GB";
        return false;
    }
    std::vector<unsigned char> body;
    if (!CompressLzo1x(data, size, level_, &body)) {
        *why = "LZO compression failed";
        return false;
    }
    return AddStored(recordSpec, uint32_t(size), body, why);
}

bool PackageWriter::AddStored(const RecordSpec& recordSpec,
                              uint32_t originalSize,
                              const std::vector<unsigned char>& body,
                              std::string* why) {
    const size_t headerSize = HeaderSize(recordSpec);
    if (headerSize > kMaxHeaderSize) {
        *why = "the record header would be longer than 512 bytes";
        return false;
    }
    if (position_ + 4 + headerSize + body.size() + 4 + kTrailerSize > uint64_t(std::numeric_limits<int32_t>::max())) {
        *why = "the package would be larger than 2 GB";
        return false;
    }
    std::string digest = Md5Hex(body.data(), body.size());
    if (recordSpec.upperCaseDigest) {
        for (char& c : digest)
            c = char(c >= 'a' && c <= 'f' ? c - 0x20 : c);
    }
    const size_t split =
        std::min(recordSpec.nameSplit == std::string::npos ? DefaultSplit(recordSpec.name) : recordSpec.nameSplit,
                 recordSpec.name.size());

    unsigned char header[kMaxHeaderSize] = {};
    PutLe32(header, recordSpec.reserved);
    PutLe32(header + 4, originalSize);
    PutLe32(header + 8, uint32_t(body.size()));
    size_t at = kHeaderFixedSize;
    std::memcpy(header + at, digest.data(), digest.size());
    at += digest.size() + 1;
    std::memcpy(header + at, recordSpec.name.data(), split);
    at += split + 1;
    std::memcpy(header + at, recordSpec.name.data() + split, recordSpec.name.size() - split);
    at += recordSpec.name.size() - split + 1;
    std::memcpy(header + at, recordSpec.extraHeaderBytes.data(), recordSpec.extraHeaderBytes.size());
    DescrambleHeader(header, headerSize);  // scrambling is the same XOR

    unsigned char length[4];
    PutLe32(length, uint32_t(headerSize));
    Write(length, sizeof length);
    Write(header, headerSize);
    Write(body.data(), body.size());
    if (failed_) {
        *why = "writing the package failed";
        return false;
    }
    ++records_;
    return true;
}

bool PackageWriter::Finish() {
    unsigned char marker[4];
    PutLe32(marker, uint32_t(kEndMarker));
    Write(marker, sizeof marker);
    unsigned char trailer[kTrailerSize] = {};
    PutLe32(trailer, kPackageMagic);
    PutLe32(trailer + 4, directoryOffset_);
    std::memcpy(trailer + 8, imageDigest_.data(), kTrailerDigestSize);
    Write(trailer, sizeof trailer);
    if (!failed_ && std::fflush(out_) != 0)
        failed_ = true;
    return !failed_;
}
