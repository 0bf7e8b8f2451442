#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/Extract.h"
#include "package/Package.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPackage.h"

// What the extraction suites share: a package file written from records into a temporary folder and indexed, the
// message boxes recorded, and the bodies they store by hand.

// A fixture that writes and indexes one package file per test.
class PackageFileTest : public ::testing::Test {
  protected:
    void Build(const std::vector<TestRecord>& records) {
        path_ = dir_.Join("package.bin");
        ASSERT_TRUE(WriteTestPackage(path_, records));
        ASSERT_EQ(IndexStatus::kOk, IndexPackageFile(path_.c_str(), index_).status);
    }

    TempDir dir_;
    std::string path_;
    PackageIndex index_;
    MessageRecorder messages_;
};

inline std::string SinkBytes(const MemorySink& sink) {
    return sink.data ? std::string(reinterpret_cast<const char*>(sink.data), sink.size) : std::string();
}

// A record whose body is written as given, not compressed, under a header that promises originalSize bytes.
inline TestRecord StoredRecord(const std::string& name, const std::string& body, uint32_t originalSize) {
    TestRecord record = MakeRecord(name, "");
    record.stored = true;
    record.storedBody = body;
    record.storedOriginalSize = originalSize;
    return record;
}

// "abc" compressed as the writer compresses it: a well-formed stream of three bytes, for a header that promises
// another size. Empty, with a failed expectation, when it cannot be made.
inline std::string AbcStream() {
    std::vector<unsigned char> body;
    EXPECT_TRUE(CompressLzo1x(reinterpret_cast<const unsigned char*>("abc"), 3, CompressionLevel::kFast, &body));
    return std::string(body.begin(), body.end());
}

// A record whose digest is written in capitals: its bytes are whole, its digest never matches.
inline TestRecord UpperCaseDigestRecord(const std::string& name, const std::string& bytes) {
    TestRecord record = MakeRecord(name, bytes);
    record.recordSpec.upperCaseDigest = true;
    return record;
}
