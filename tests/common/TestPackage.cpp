#include "tests/common/TestPackage.h"
#include "support/StdioFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "package/Extract.h"

TestRecord MakeRecord(const std::string& name, const std::string& bytes) {
    TestRecord record;
    record.recordSpec.name = name;
    record.bytes = bytes;
    return record;
}

bool WriteTestPackage(const std::string& path,
                      const std::vector<TestRecord>& records,
                      CompressionLevel level,
                      const std::string& image) {
    std::FILE* file = OpenGbkFile(path.c_str(), "wb");
    if (!file)
        return false;
    PackageWriter writer(level);
    bool ok = writer.Begin(file, reinterpret_cast<const unsigned char*>(image.data()), image.size());
    for (const TestRecord& record : records) {
        std::string why;
        if (!ok)
            break;
        if (record.stored) {
            std::vector<unsigned char> body(record.storedBody.begin(), record.storedBody.end());
            ok = writer.AddStored(record.recordSpec, record.storedOriginalSize, body, &why);
        } else {
            ok = writer.Add(record.recordSpec, reinterpret_cast<const unsigned char*>(record.bytes.data()),
                            record.bytes.size(), &why);
        }
    }
    ok = ok && writer.Finish();
    return std::fclose(file) == 0 && ok;
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed ? seed : 0x9E3779B9u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = char(state >> 24);
    }
    return bytes;
}

std::string TextLikeBytes(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"quorvan ", "font ", "texture ", "0123 ", "\r\n", "data\\", "png "};
    std::string bytes;
    uint32_t state = seed ? seed : 1;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        bytes += kWords[(state >> 16) % 7];
    }
    bytes.resize(size);
    return bytes;
}

namespace {

void PutLe(std::string* bytes, size_t at, uint32_t value, size_t width) {
    for (size_t i = 0; i < width; ++i)
        (*bytes)[at + i] = char(value >> (8 * i));
}

uint32_t GetLe(const std::string& bytes, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value |= uint32_t(uint8_t(bytes[at + i])) << (8 * i);
    return value;
}

constexpr size_t kPeOffset = 0x40;
constexpr size_t kOptionalHeader = kPeOffset + 24;

}  // namespace

std::string MinimalPeImage(bool pe32Plus, size_t padBytes) {
    const size_t optionalSize = pe32Plus ? 240 : 224;
    std::string image(kOptionalHeader + optionalSize, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    PutLe(&image, 0x3C, uint32_t(kPeOffset), 4);
    std::memcpy(&image[kPeOffset], "PE\0\0", 4);
    PutLe(&image, kPeOffset + 4, pe32Plus ? 0x8664 : 0x14C, 2);  // machine
    PutLe(&image, kPeOffset + 20, uint32_t(optionalSize), 2);
    PutLe(&image, kOptionalHeader, pe32Plus ? 0x20B : 0x10B, 2);
    PutLe(&image, kOptionalHeader + (pe32Plus ? 108 : 92), 16, 4);  // NumberOfRvaAndSizes
    return image + TextLikeBytes(padBytes, 77);
}

bool SetSecurityDirectory(std::string* bytes, uint32_t offset, uint32_t size) {
    if (bytes->size() < 0x40 || (*bytes)[0] != 'M' || (*bytes)[1] != 'Z')
        return false;
    const size_t pe = GetLe(*bytes, 0x3C, 4);
    if (pe + 24 + 2 > bytes->size() || bytes->compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return false;
    const uint32_t magic = GetLe(*bytes, pe + 24, 2);
    const size_t entry = pe + 24 + (magic == 0x20B ? 112 : 96) + 4 * 8;
    if ((magic != 0x10B && magic != 0x20B) || entry + 8 > bytes->size())
        return false;
    PutLe(bytes, entry, offset, 4);
    PutLe(bytes, entry + 4, size, 4);
    return true;
}

bool AppendCertificateTable(std::string* bytes, const std::string& content, size_t* padding) {
    const size_t zeros = (8 - bytes->size() % 8) % 8;
    const size_t offset = bytes->size() + zeros;
    std::string table(8, '\0');
    PutLe(&table, 0, uint32_t(8 + content.size()), 4);  // dwLength
    PutLe(&table, 4, 0x0200, 2);                        // WIN_CERT_REVISION_2_0
    PutLe(&table, 6, 0x0002, 2);                        // WIN_CERT_TYPE_PKCS_SIGNED_DATA
    table += content;
    table.append((8 - table.size() % 8) % 8, '\0');
    if (!SetSecurityDirectory(bytes, uint32_t(offset), uint32_t(table.size())))
        return false;
    bytes->append(zeros, '\0');
    *bytes += table;
    if (padding)
        *padding = zeros;
    return true;
}

std::string ExtractedBytes(const PackageIndex& index, const std::string& name) {
    MemorySink sink;
    EXPECT_TRUE(ExtractByName(index, name.c_str(), sink)) << name;
    return sink.data ? std::string(reinterpret_cast<const char*>(sink.data), sink.size) : std::string();
}
