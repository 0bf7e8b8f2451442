#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/Extract.h"
#include "package/Package.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPackage.h"

namespace {

std::string Le32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[size_t(i)] = char(value >> (8 * i));
    return bytes;
}

// A record built byte by byte: length field, scrambled header, body.
std::string RawRecord(const std::string& header, const std::string& body) {
    std::string scrambled = header;
    DescrambleHeader(reinterpret_cast<unsigned char*>(&scrambled[0]), scrambled.size());
    return Le32(uint32_t(header.size())) + scrambled + body;
}

std::string Header(uint32_t originalSize, uint32_t compressedSize, const std::string& strings) {
    return Le32(0) + Le32(originalSize) + Le32(compressedSize) + strings;
}

std::string Trailer(uint32_t directoryOffset) {
    std::string trailer = Le32(kPackageMagic) + Le32(directoryOffset) + std::string(32, '0');
    trailer += std::string(2, '\0');
    return trailer;
}

std::string RawPackage(const std::string& image, const std::string& records, bool endMarker = true) {
    return image + records + (endMarker ? Le32(0xFFFFFFFFu) : "") + Trailer(uint32_t(image.size()));
}

class IndexTest : public ::testing::Test {
  protected:
    std::string Path() const { return dir_.Join("package.bin"); }
    IndexResult IndexRaw(const std::string& bytes) {
        EXPECT_TRUE(WriteBytes(Path(), bytes));
        return IndexBothWays();
    }
    IndexResult IndexRecords(const std::vector<TestRecord>& records, CompressionLevel level = CompressionLevel::kFast) {
        EXPECT_TRUE(WriteTestPackage(Path(), records, level));
        return IndexBothWays();
    }
    // Indexes the file into index_, and its bytes read into memory into an index of their own: the two walks must
    // give the same result and the same entries, whatever the bytes.
    IndexResult IndexBothWays() {
        const PackageIndex before = index_;
        const IndexResult fromFile = IndexPackageFile(Path().c_str(), index_);
        std::string bytes;
        EXPECT_TRUE(ReadBytes(Path(), &bytes));
        PackageIndex fromMemory = before;
        const IndexResult result = IndexPackageBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                                     Path().c_str(), fromMemory);
        EXPECT_EQ(fromFile.status, result.status);
        EXPECT_EQ(fromFile.records, result.records);
        EXPECT_EQ(fromFile.stopOffset, result.stopOffset);
        EXPECT_EQ(fromFile.certificate.state, result.certificate.state);
        EXPECT_EQ(index_.size(), fromMemory.size());
        for (auto a = index_.begin(), b = fromMemory.begin(); a != index_.end() && b != fromMemory.end(); ++a, ++b) {
            EXPECT_EQ(a->first, b->first);
            EXPECT_EQ(a->second.packagePath, b->second.packagePath);
            EXPECT_EQ(a->second.digest, b->second.digest);
            EXPECT_EQ(a->second.originalSize, b->second.originalSize);
            EXPECT_EQ(a->second.compressedSize, b->second.compressedSize);
            EXPECT_EQ(a->second.bodyOffset, b->second.bodyOffset);
        }
        return fromFile;
    }
    std::string Extracted(const std::string& name) { return ExtractedBytes(index_, name); }

    TempDir dir_;
    PackageIndex index_;
    MessageRecorder messages_;
};

}  // namespace

TEST_F(IndexTest, RecordsRoundTripThroughWriterAndReader) {
    std::vector<TestRecord> records;
    for (int i = 0; i < 300; ++i) {
        std::string name = "quorvan\\data\\file" + std::to_string(i) + (i % 2 ? ".PNG" : ".tga");
        records.push_back(MakeRecord(
            name, i % 3 ? TextLikeBytes(size_t(i) * 37, uint32_t(i)) : RandomBytes(size_t(i) * 11, uint32_t(i))));
    }
    records.push_back(MakeRecord("empty.bin", ""));
    records.push_back(MakeRecord("big\\three_mb.bin", TextLikeBytes(3 * 1024 * 1024, 7)));

    IndexResult result = IndexRecords(records);
    EXPECT_EQ(IndexStatus::kOk, result.status);
    EXPECT_EQ(records.size(), result.records);
    ASSERT_EQ(records.size(), index_.size());

    const PackageEntry& big = index_.at("big\\three_mb.bin");
    EXPECT_EQ(3u * 1024 * 1024, big.originalSize);
    EXPECT_EQ(Path(), big.packagePath);
    EXPECT_EQ(32u, big.digest.size());
    for (const TestRecord& record : records)
        EXPECT_EQ(record.bytes, Extracted(record.recordSpec.name)) << record.recordSpec.name;
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(IndexTest, BothCompressionLevelsRoundTrip) {
    for (CompressionLevel level : {CompressionLevel::kFast, CompressionLevel::kBest}) {
        index_.clear();
        std::vector<TestRecord> records = {MakeRecord("a.txt", TextLikeBytes(200000, 3)),
                                           MakeRecord("b.bin", RandomBytes(50000, 4)), MakeRecord("c", "")};
        ASSERT_EQ(IndexStatus::kOk, IndexRecords(records, level).status);
        for (const TestRecord& record : records)
            EXPECT_EQ(record.bytes, Extracted(record.recordSpec.name));
    }
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(IndexTest, IndexOrderIsUnsignedByteOrder) {
    IndexRecords(
        {MakeRecord("\xB0\xB2.txt", "x"), MakeRecord("b", "x"), MakeRecord("B\\a", "x"), MakeRecord("a", "x")});
    std::vector<std::string> keys;
    for (const auto& item : index_)
        keys.push_back(item.first);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "b\\a", "\xB0\xB2.txt"}), keys);
}

TEST_F(IndexTest, GbkNamesKeepTrailBytesAndLowerOtherCapitals) {
    // 0x95 0x5C has a trail byte equal to '\'; 0x81 0x41 and 0xD7 0x5A have trail bytes 'A' and 'Z'.
    const std::string stored =
        "Quorvan\\\x95\x5C"
        "Dir\\\x81\x41"
        "B\xD7\x5A.PNG";
    IndexRecords({MakeRecord(stored, "gbk")});
    const std::string key =
        "quorvan\\\x95\x5C"
        "dir\\\x81\x41"
        "b\xD7\x5A.png";
    ASSERT_EQ(1u, index_.count(key));
    EXPECT_EQ("gbk", Extracted("QUORVAN\\\x95\x5C"
                               "DIR\\\x81\x41"
                               "b\xD7\x5A.png"));
}

TEST_F(IndexTest, NameIsPartOneFollowedByPartTwoWhereverItIsSplit) {
    std::vector<TestRecord> records;
    for (size_t split : {size_t(0), size_t(4), size_t(9), size_t(16)}) {
        TestRecord record = MakeRecord("copyfont_high\\font00a.png" + std::to_string(split), "s");
        record.recordSpec.nameSplit = split;
        records.push_back(record);
    }
    IndexRecords(records);
    EXPECT_EQ(4u, index_.size());
    EXPECT_EQ(1u, index_.count("copyfont_high\\font00a.png9"));
    EXPECT_EQ(1u, index_.count("copyfont_high\\font00a.png0"));
}

TEST_F(IndexTest, DuplicateNameKeepsLaterRecord) {
    IndexResult result = IndexRecords(
        {MakeRecord("WinPos.txt", "first"), MakeRecord("other", "o"), MakeRecord("winpos.TXT", "second, longer")});
    EXPECT_EQ(3u, result.records);
    EXPECT_EQ(2u, index_.size());
    EXPECT_EQ("second, longer", Extracted("winpos.txt"));
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(IndexTest, ExtraHeaderBytesAndReservedFieldAreIgnored) {
    TestRecord first = MakeRecord("first", "one");
    first.recordSpec.extraHeaderBytes = std::string("\0\xFF padding \0\0", 13);
    first.recordSpec.reserved = 0xDEADBEEF;
    IndexRecords({first, MakeRecord("second", "two")});
    EXPECT_EQ("one", Extracted("first"));
    EXPECT_EQ("two", Extracted("second"));
}

TEST_F(IndexTest, ChangedImageStillIndexes) {
    ASSERT_TRUE(WriteTestPackage(Path(), {MakeRecord("a", "alpha")}, CompressionLevel::kFast, "IMAGE-BYTES"));
    std::string bytes;
    ASSERT_TRUE(ReadBytes(Path(), &bytes));
    bytes[3] = 'X';
    EXPECT_EQ(IndexStatus::kOk, IndexRaw(bytes).status);
    EXPECT_EQ("alpha", Extracted("a"));
}

TEST_F(IndexTest, EndMarkerFirstGivesEmptyIndexWithoutMessages) {
    IndexResult result = IndexRaw(RawPackage("image", ""));
    EXPECT_EQ(IndexStatus::kOk, result.status);
    EXPECT_TRUE(index_.empty());
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(IndexTest, FilesWithoutPackageLeaveIndexEmpty) {
    EXPECT_EQ(IndexStatus::kCannotOpen, IndexPackageFile(dir_.Join("missing.bin").c_str(), index_).status);
    EXPECT_EQ(IndexStatus::kNoPackage, IndexRaw("short").status);
    EXPECT_EQ(IndexStatus::kNoPackage, IndexRaw(std::string(4096, 'M')).status);
    std::string wrongMagic = RawPackage("image", "");
    wrongMagic[wrongMagic.size() - 42] = 0x11;
    EXPECT_EQ(IndexStatus::kNoPackage, IndexRaw(wrongMagic).status);
    EXPECT_TRUE(index_.empty());
    EXPECT_TRUE(messages_.Messages().empty());
}

// Each malformed record stops the walk; what was indexed before it stays.
TEST_F(IndexTest, MalformedRecordsStopTheWalkAndKeepEarlierEntries) {
    const std::string good = RawRecord(Header(0, 0, std::string(32, 'a') + '\0' + "good" + '\0' + '\0'), "");
    const std::string digestAndNames = std::string(32, 'b') + '\0' + "bad" + '\0' + "x" + '\0';
    struct Case {
        const char* what;
        std::string record;
        IndexStatus status;
    } cases[] = {
        {"length above 512", Le32(513) + std::string(600, 'x'), IndexStatus::kBadRecord},
        {"length -2", Le32(0xFFFFFFFEu), IndexStatus::kBadRecord},
        {"length 0", Le32(0), IndexStatus::kBadRecord},
        {"name part 2 unterminated", RawRecord(Header(1, 1, std::string(32, 'c') + '\0' + "n" + '\0' + "m"), "z"),
         IndexStatus::kBadRecord},
        {"digest unterminated", RawRecord(Header(1, 1, std::string(40, 'c')), "z"), IndexStatus::kBadRecord},
        {"body past the end", RawRecord(Header(5, 1000000, digestAndNames), "short"), IndexStatus::kTruncated},
        {"header cut short", Le32(200) + std::string(20, 'h'), IndexStatus::kTruncated},
    };
    for (const Case& c : cases) {
        index_.clear();
        // No end marker after the bad record: the walk must stop on the record itself.
        IndexResult result = IndexRaw(RawPackage("image", good + c.record, false));
        EXPECT_EQ(c.status, result.status) << c.what;
        EXPECT_EQ(1u, index_.size()) << c.what;
        EXPECT_EQ(1u, index_.count("good")) << c.what;
        EXPECT_EQ(int64_t(5 + good.size()), result.stopOffset) << c.what;
    }
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(IndexTest, MissingEndMarkerIsTruncation) {
    const std::string good = RawRecord(Header(0, 0, std::string(32, 'a') + '\0' + "good" + '\0' + '\0'), "");
    IndexResult result = IndexRaw(RawPackage("image", good, false));
    EXPECT_EQ(IndexStatus::kTruncated, result.status);
    EXPECT_EQ(1u, index_.size());
}

TEST_F(IndexTest, DirectoryOffsetBeyondFileIsTruncation) {
    std::string bytes = RawPackage("image", "");
    std::string trailer = Trailer(0x7FFFFFF0u);
    bytes.replace(bytes.size() - 42, 42, trailer);
    EXPECT_EQ(IndexStatus::kTruncated, IndexRaw(bytes).status);
    EXPECT_TRUE(index_.empty());
}
