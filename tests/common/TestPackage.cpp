#include "tests/common/TestPackage.h"

#include <cstdio>

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
    std::FILE* file = std::fopen(path.c_str(), "wb");
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
