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

// A PE image as small as the security directory needs: DOS header, PE signature, COFF header and an optional header
// (PE32, or PE32+ when pe32Plus) with 16 empty data directories, then padBytes bytes of filler.
std::string MinimalPeImage(bool pe32Plus, size_t padBytes = 0);

// Sets the security directory (data directory entry 4) of the PE image at the start of bytes. False when bytes
// does not start with such an image.
bool SetSecurityDirectory(std::string* bytes, uint32_t offset, uint32_t size);

// Signs bytes the way Authenticode lays a signature out: zero bytes up to an 8-byte boundary, a certificate table
// (one WIN_CERTIFICATE holding content, padded to 8 bytes) at the end, and the security directory pointed at it.
// *padding receives the number of zero bytes put before the table.
bool AppendCertificateTable(std::string* bytes, const std::string& content, size_t* padding = nullptr);
