#pragma once

#include <string>
#include <vector>

#include "tools/packtool/PackageWriter.h"

// Builds package files for tests with the real writer.
struct TestRecord {
    RecordSpec recordSpec;
    std::string bytes;    // the file's content
    bool stored = false;  // write storedBody as the body instead of compressing bytes
    std::string storedBody;
    uint32_t storedOriginalSize = 0;
};

TestRecord MakeRecord(const std::string& name, const std::string& bytes);

// Writes image + records + end marker + trailer to path. False on any failure.
bool WriteTestPackage(const std::string& path,
                      const std::vector<TestRecord>& records,
                      CompressionLevel level = CompressionLevel::kFast,
                      const std::string& image = "MZ-image");

// Deterministic pseudo-random bytes (xorshift), and bytes that compress well.
std::string RandomBytes(size_t size, uint32_t seed);
std::string TextLikeBytes(size_t size, uint32_t seed);
