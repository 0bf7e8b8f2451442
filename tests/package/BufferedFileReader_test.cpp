// The reader under the index: every byte it hands out is the file's byte at that offset, however the reads fall
// against its buffer, and a read that the file cannot satisfy fails it for good.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "package/BufferedFileReader.h"
#include "support/StdioFile.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPackage.h"

namespace {

constexpr size_t kCapacity = BufferedFileReader::kCapacity;
constexpr size_t kJumpRead = BufferedFileReader::kJumpRead;

class BufferedFileReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bytes_ = RandomBytes(3 * kCapacity + 123, 20050310u);
        ASSERT_TRUE(WriteBytes(dir_.Join("file.bin"), bytes_));
        file_.reset(new StdioFile(dir_.Join("file.bin").c_str(), "rb"));
        ASSERT_TRUE(*file_);
        reader_.reset(new BufferedFileReader(file_->get()));
    }
    // Takes count bytes at offset and compares them with the file's.
    void ExpectBytesAt(int64_t offset, size_t count) {
        reader_->SeekTo(offset);
        const unsigned char* got = reader_->Take(count);
        ASSERT_NE(got, nullptr) << offset << " " << count;
        EXPECT_EQ(bytes_.substr(size_t(offset), count), std::string(reinterpret_cast<const char*>(got), count))
            << offset << " " << count;
        EXPECT_EQ(offset + int64_t(count), reader_->position());
    }

    TempDir dir_;
    std::string bytes_;
    std::unique_ptr<StdioFile> file_;
    std::unique_ptr<BufferedFileReader> reader_;
};

}  // namespace

TEST_F(BufferedFileReaderTest, SequentialReadsOfEverySizeCrossEachRefill) {
    size_t at = 0;
    for (size_t size = 1; at + size <= bytes_.size(); size = size % 517 + 1) {
        const unsigned char* got = reader_->Take(size);
        ASSERT_NE(got, nullptr) << at;
        ASSERT_EQ(bytes_.substr(at, size), std::string(reinterpret_cast<const char*>(got), size)) << at;
        at += size;
    }
    EXPECT_FALSE(reader_->failed());
    EXPECT_EQ(int64_t(at), reader_->position());
}

TEST_F(BufferedFileReaderTest, SkipsAndJumpsForwardAndBack) {
    ExpectBytesAt(10, 4);
    ExpectBytesAt(300, 512);                               // a skip inside the first block
    ExpectBytesAt(int64_t(kJumpRead) - 2, 8);              // runs off the end of a jump's block
    ExpectBytesAt(int64_t(kCapacity) + 100, 516);          // past everything read so far
    ExpectBytesAt(5, 20);                                  // back before it
    ExpectBytesAt(int64_t(2 * kCapacity) - 3, 600);        // straddles a buffer's worth
    ExpectBytesAt(int64_t(bytes_.size()) - 42, 42);        // the last bytes
    ExpectBytesAt(0, kCapacity);                           // the largest read
    ExpectBytesAt(int64_t(2 * kCapacity) + 7, kCapacity);  // and from a position inside a block
    ExpectBytesAt(int64_t(3 * kJumpRead) - 3, 516);        // a jump back that straddles two blocks
    EXPECT_FALSE(reader_->failed());
}

TEST_F(BufferedFileReaderTest, ReadReachingPastTheEndFailsAndStaysFailed) {
    reader_->SeekTo(int64_t(bytes_.size()) - 10);
    EXPECT_NE(reader_->Take(10), nullptr);
    EXPECT_NE(reader_->Take(0), nullptr);
    EXPECT_EQ(reader_->Take(1), nullptr);
    EXPECT_TRUE(reader_->failed());
    reader_->SeekTo(0);
    EXPECT_EQ(reader_->Take(1), nullptr);
    unsigned char byte = 0x5A;
    reader_->Read(&byte, 1);
    EXPECT_EQ(byte, 0x5A);  // left as it was
}

TEST_F(BufferedFileReaderTest, RequestsItCannotServeFail) {
    struct Case {
        const char* what;
        int64_t offset;
        size_t count;
    } cases[] = {
        {"more than a buffer", 0, kCapacity + 1},
        {"negative offset", -1, 1},
        {"beyond the end", int64_t(bytes_.size()) + 1000, 4},
        {"straddling the end", int64_t(bytes_.size()) - 3, 4},
    };
    for (const Case& c : cases) {
        BufferedFileReader reader(file_->get());
        reader.SeekTo(c.offset);
        EXPECT_EQ(reader.Take(c.count), nullptr) << c.what;
        EXPECT_TRUE(reader.failed()) << c.what;
    }
}
