#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/EntryCheck.h"
#include "support/StdioFile.h"
#include "tests/package/PackageFileTest.h"

// The quiet check that the install runs over every entry before it changes anything, and the extraction that
// follows it without a second digest.
namespace {

class EntryCheckTest : public PackageFileTest {};

TEST_F(EntryCheckTest, OnlyAWholeBodyWithItsDigestAndItsExactLengthPasses) {
    const std::string content = TextLikeBytes(20000, 3);
    const std::string stream = AbcStream();
    Build({MakeRecord("sound", content), MakeRecord("empty", ""), UpperCaseDigestRecord("digest", content),
           StoredRecord("longer", stream, 10), StoredRecord("shorter", stream, 2),
           StoredRecord("garbage", "not a compressed stream", 23)});

    EXPECT_TRUE(CheckEntryQuietly(index_.at("sound")));
    EXPECT_TRUE(CheckEntryQuietly(index_.at("empty")));
    for (const char* name : {"digest", "longer", "shorter", "garbage"})
        EXPECT_FALSE(CheckEntryQuietly(index_.at(name))) << name;

    // A body that runs past the end of the file.
    PackageEntry cut = index_.at("sound");
    cut.compressedSize += 100000;
    EXPECT_FALSE(CheckEntryQuietly(cut));

    // The same answers through one set of buffers, whatever came before: a larger entry's bytes never stand in for
    // a smaller one's.
    CheckBuffers buffers;
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(CheckEntryQuietly(cut, buffers));
        EXPECT_TRUE(CheckEntryQuietly(index_.at("sound"), buffers));
        for (const char* name : {"digest", "longer", "shorter", "garbage"})
            EXPECT_FALSE(CheckEntryQuietly(index_.at(name), buffers)) << name;
        EXPECT_TRUE(CheckEntryQuietly(index_.at("empty"), buffers));
    }
    EXPECT_TRUE(messages_.Messages().empty());  // the caller tells the user, once
}

TEST_F(EntryCheckTest, SizeNoStreamCanYieldFailsBeforeAnyAllocation) {
    Build({MakeRecord("sound", TextLikeBytes(1000, 4))});
    PackageEntry forged = index_.at("sound");
    forged.originalSize = 0xFF000000u;  // one flipped high byte
    EXPECT_FALSE(SizesPlausible(forged));
    EXPECT_FALSE(CheckEntryQuietly(forged));
    MemorySink sink;
    EXPECT_FALSE(ExtractCheckedEntry(forged, sink));
    EXPECT_EQ(nullptr, sink.data);

    PackageEntry edge = index_.at("sound");
    edge.originalSize = edge.compressedSize * uint32_t(kMaxLzoExpansion);
    EXPECT_TRUE(SizesPlausible(edge));
    edge.originalSize += 1;
    EXPECT_FALSE(SizesPlausible(edge));
}

TEST_F(EntryCheckTest, CheckedExtractionDeliversTheBytesWithoutComparingTheDigestAgain) {
    const std::string content = RandomBytes(30000, 5);
    Build({MakeRecord("sound", content), UpperCaseDigestRecord("digest", content),
           StoredRecord("longer", AbcStream(), 10)});

    MemorySink sink;
    ASSERT_TRUE(ExtractCheckedEntry(index_.at("sound"), sink));
    EXPECT_EQ(content, SinkBytes(sink));
    EXPECT_EQ("memory.bin", sink.name);
    // No digest the second time: the caller checked it, and its package cannot have changed since.
    ASSERT_TRUE(ExtractCheckedEntry(index_.at("digest"), sink));
    EXPECT_EQ(content, SinkBytes(sink));
    // The length still counts, and a failure leaves the sink as it was.
    EXPECT_FALSE(ExtractCheckedEntry(index_.at("longer"), sink));
    EXPECT_EQ(content, SinkBytes(sink));

    // The same through one stream of the package that the caller keeps open, in any order.
    StdioFile package(path_.c_str(), "rb");
    ASSERT_TRUE(package);
    CheckBuffers buffers;
    EXPECT_FALSE(CheckEntryQuietly(index_.at("digest"), buffers, package.get()));
    EXPECT_TRUE(CheckEntryQuietly(index_.at("sound"), buffers, package.get()));
    EXPECT_FALSE(ExtractCheckedEntry(index_.at("longer"), sink, package.get()));
    ASSERT_TRUE(ExtractCheckedEntry(index_.at("sound"), sink, package.get()));
    EXPECT_EQ(content, SinkBytes(sink));
    EXPECT_TRUE(messages_.Messages().empty());
}

}  // namespace
