#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/LogSeam.h"
#include "support/StdioFile.h"
#include "tests/package/PackageFileTest.h"

namespace {

class ExtractTest : public PackageFileTest {
  protected:
    // Flips one byte of an entry's stored body.
    void DamageBody(const std::string& name, size_t at) {
        const PackageEntry& entry = index_.at(name);
        std::string bytes;
        ASSERT_TRUE(ReadBytes(path_, &bytes));
        bytes[size_t(entry.bodyOffset) + at] ^= 0x5A;
        ASSERT_TRUE(WriteBytes(path_, bytes));
    }
};

// A sink that refuses everything, as MemorySink does for an absent label.
class RefusingSink : public EntrySink {
  public:
    bool Accept(const char*, unsigned char*, uint32_t) override { return false; }
    bool LoadFile(const char*) override { return false; }
};

}  // namespace

namespace {

// The densest stream LZO1X can decode: one literal, then one match at distance 1 whose length runs on in
// zeroRun zero bytes (255 bytes of output each), then the end marker.
std::string DensestStream(size_t zeroRun, size_t* decodedSize) {
    std::string stream;
    stream += char(17 + 1);  // first instruction: one literal
    stream += 'x';
    stream += char(0x20);  // match, length in the bytes that follow
    stream.append(zeroRun, '\0');
    stream += char(0xFF);
    stream += std::string("\0\0", 2);  // distance 1
    stream += std::string("\x11\0\0", 3);
    *decodedSize = 1 + 255 * zeroRun + 31 + 255 + 2;
    return stream;
}

}  // namespace

TEST_F(ExtractTest, LookupIgnoresAsciiCaseAndLabelsMemoryBin) {
    Build({MakeRecord("winpos.txt", "layout bytes")});
    EXPECT_EQ(&index_.at("winpos.txt"), FindEntry(index_, "WinPos.TXT"));
    EXPECT_EQ(nullptr, FindEntry(index_, "winpos"));
    EXPECT_EQ(nullptr, FindEntry(index_, nullptr));
    MemorySink sink;
    EXPECT_TRUE(ExtractByName(index_, "WINPOS.TXT", sink));
    EXPECT_EQ("layout bytes", SinkBytes(sink));
    EXPECT_EQ("memory.bin", sink.name);
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(ExtractTest, MissingNameShowsNameAsPassedAndLeavesSinkAlone) {
    Build({MakeRecord("winpos.txt", "layout")});
    MemorySink sink;
    ASSERT_TRUE(ExtractByName(index_, "winpos.txt", sink));
    unsigned char* held = sink.data;

    EXPECT_FALSE(ExtractByName(index_, "Copyfont_HIGH\\Font00A.png", sink));
    auto messages = messages_.Messages();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Copyfont_HIGH\\Font00A.png", messages[0].text);
    EXPECT_EQ("Find file in package error!", messages[0].caption);
    EXPECT_EQ(unsigned(kMbOk), messages[0].style);
    EXPECT_FALSE(messages[0].hasOwner);
    EXPECT_EQ(held, sink.data);
    EXPECT_EQ("layout", SinkBytes(sink));
}

TEST_F(ExtractTest, UpperCaseDigestNeverMatchesButBytesAreDelivered) {
    const TestRecord record = UpperCaseDigestRecord("SM3Config.qvx", TextLikeBytes(5000, 9));
    Build({record});
    for (int attempt = 0; attempt < 2; ++attempt) {
        MemorySink sink;
        EXPECT_TRUE(ExtractByName(index_, "sm3config.qvx", sink));
        EXPECT_EQ(record.bytes, SinkBytes(sink));
    }
    auto messages = messages_.Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("MD5 error!", messages[0].caption);
    EXPECT_EQ("sm3config.qvx", messages[0].text);  // the normalised name
}

TEST_F(ExtractTest, DamagedBodyReportsDigestThenLengthAndStillDelivers) {
    const std::string content = TextLikeBytes(100000, 5);
    Build({MakeRecord("psrpc.org", content)});
    DamageBody("psrpc.org", 40);

    MemorySink sink;
    ExtractReport report;
    EXPECT_TRUE(ExtractEntry(index_.at("psrpc.org"), sink, &report));
    EXPECT_TRUE(report.bodyRead);
    EXPECT_FALSE(report.digestOk);
    ASSERT_NE(nullptr, sink.data);
    EXPECT_EQ(content.size(), sink.size);

    auto messages = messages_.Messages();
    ASSERT_GE(messages.size(), 1u);
    EXPECT_EQ("MD5 error!", messages[0].caption);
    EXPECT_EQ("psrpc.org", messages[0].text);
    if (!report.lengthOk) {
        ASSERT_EQ(2u, messages.size());
        EXPECT_EQ("decompress error!", messages[1].text);
        EXPECT_EQ("out_size don't match", messages[1].caption);
    }
}

TEST_F(ExtractTest, EveryReporterFindsTheSameFaultsAndOnlyMessagesShowBoxes) {
    const std::string content = TextLikeBytes(30000, 6);
    Build({MakeRecord("clean", content), MakeRecord("damaged", content), StoredRecord("forged", "x", 300)});
    DamageBody("damaged", 12);

    struct Case {
        Reporter reporter;
        std::vector<std::string> captions;
    };
    const Case cases[] = {
        {Reporter::kMessages, {"MD5 error!", "out_size don't match", "Find file in package error!"}},
        {Reporter::kQuiet, {}},
    };
    for (const Case& c : cases) {
        messages_.Clear();
        const ExtractOptions options{c.reporter};
        MemorySink sink;
        ExtractReport report;
        EXPECT_TRUE(ExtractEntry(index_.at("clean"), &sink, &report, options));
        EXPECT_TRUE(report.clean());
        EXPECT_EQ(content, SinkBytes(sink));
        EXPECT_TRUE(ExtractEntry(index_.at("damaged"), &sink, &report, options));
        EXPECT_TRUE(report.bodyRead);
        EXPECT_FALSE(report.digestOk);
        EXPECT_FALSE(report.clean());
        EXPECT_FALSE(ExtractEntry(index_.at("forged"), &sink, &report, options));
        EXPECT_TRUE(report.sizeRefused);
        EXPECT_FALSE(ExtractByName(index_, "missing", sink, &report, options));
        // The damaged body decompresses to its length or not, depending on the byte flipped: only the
        // first box and the last two are certain.
        std::vector<std::string> captions = messages_.Captions();
        if (captions.size() == 4)
            captions.erase(captions.begin() + 1);
        EXPECT_EQ(c.captions, captions) << int(c.reporter);
    }
}

TEST_F(ExtractTest, CheckPassAcceptsOnlyAWholeBodyWithItsDigestAndItsExactLength) {
    const std::string content = TextLikeBytes(20000, 3);
    const std::string stream = AbcStream();
    Build({MakeRecord("sound", content), MakeRecord("empty", ""), UpperCaseDigestRecord("digest", content),
           StoredRecord("longer", stream, 10), StoredRecord("shorter", stream, 2),
           StoredRecord("garbage", "not a compressed stream", 23)});
    PackageEntry cut = index_.at("sound");  // a body that runs past the end of the file
    cut.compressedSize += 100000;
    PackageEntry forged = index_.at("sound");  // a size no stream of the body can yield
    forged.originalSize = 0xFF000000u;

    // Alone, through one set of buffers whatever came before (a larger entry's bytes never stand in for a smaller
    // one's), and through one stream of the package that the caller keeps open.
    StdioFile package(path_.c_str(), "rb");
    ASSERT_TRUE(package);
    ScratchBuffers scratch;
    const ExtractOptions alone{Reporter::kQuiet};
    const ExtractOptions reused{Reporter::kQuiet, package.get(), false, &scratch};
    for (const ExtractOptions& options : {alone, reused, reused}) {
        EXPECT_FALSE(ExtractEntry(cut, nullptr, nullptr, options));
        EXPECT_FALSE(ExtractEntry(forged, nullptr, nullptr, options));
        EXPECT_TRUE(ExtractEntry(index_.at("sound"), nullptr, nullptr, options));
        for (const char* name : {"digest", "longer", "shorter", "garbage"})
            EXPECT_FALSE(ExtractEntry(index_.at(name), nullptr, nullptr, options)) << name;
        EXPECT_TRUE(ExtractEntry(index_.at("empty"), nullptr, nullptr, options));
    }
    EXPECT_TRUE(messages_.Messages().empty());  // the caller tells the user, once

    // A pass that passed leaves the unpacked bytes in the scratch and, when asked, their MD5.
    std::string md5;
    ExtractOptions digest = reused;
    digest.unpackedMd5 = &md5;
    ASSERT_TRUE(ExtractEntry(index_.at("sound"), nullptr, nullptr, digest));
    EXPECT_EQ(Md5Hex(content.data(), content.size()), md5);
    EXPECT_EQ(content, std::string(reinterpret_cast<const char*>(scratch.output.get()), content.size()));
}

TEST_F(ExtractTest, CheckedDigestIsNotComparedAgainButOnlySoundBytesAreDelivered) {
    const std::string content = RandomBytes(30000, 5);
    Build({MakeRecord("sound", content), UpperCaseDigestRecord("digest", content),
           StoredRecord("longer", AbcStream(), 10)});
    PackageEntry forged = index_.at("sound");
    forged.originalSize = 0xFF000000u;

    StdioFile package(path_.c_str(), "rb");
    ASSERT_TRUE(package);
    const ExtractOptions fromPath{Reporter::kQuiet, nullptr, true};
    const ExtractOptions fromStream{Reporter::kQuiet, package.get(), true};
    for (const ExtractOptions& options : {fromPath, fromStream}) {
        MemorySink sink;
        ExtractReport report;
        ASSERT_TRUE(ExtractEntry(index_.at("sound"), &sink, &report, options));
        EXPECT_TRUE(report.clean());
        EXPECT_EQ(content, SinkBytes(sink));
        EXPECT_EQ("memory.bin", sink.name);
        // No digest the second time: the caller checked it, and its package cannot have changed since.
        ASSERT_TRUE(ExtractEntry(index_.at("digest"), &sink, &report, options));
        EXPECT_TRUE(report.clean());
        // The length still counts, and a failure leaves the sink as it was.
        EXPECT_FALSE(ExtractEntry(index_.at("longer"), &sink, &report, options));
        EXPECT_FALSE(ExtractEntry(forged, &sink, &report, options));
        EXPECT_EQ(content, SinkBytes(sink));
    }
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(ExtractTest, StreamShorterThanOriginalSizeDeliversZeroFilledTail) {
    // The stored stream decompresses to 3 bytes while the header promises 10.
    Build({StoredRecord("short", AbcStream(), 10)});

    MemorySink sink;
    EXPECT_TRUE(ExtractByName(index_, "short", sink));
    ASSERT_EQ(10u, sink.size);
    EXPECT_EQ(std::string("abc\0\0\0\0\0\0\0", 10), SinkBytes(sink));
    EXPECT_EQ((std::vector<std::string>{"out_size don't match"}), messages_.Captions());
}

TEST_F(ExtractTest, GarbageStreamNeverWritesPastOriginalSize) {
    Build({StoredRecord("garbage", RandomBytes(4000, 77), 16)});
    MemorySink sink;
    EXPECT_TRUE(ExtractByName(index_, "garbage", sink));
    EXPECT_EQ(16u, sink.size);
    EXPECT_EQ((std::vector<std::string>{"out_size don't match"}), messages_.Captions());
}

TEST_F(ExtractTest, BodyThatCannotBeReadGivesMd5ErrorAndZeroedBuffer) {
    Build({MakeRecord("gone", TextLikeBytes(3000, 1))});
    PackageEntry entry = index_.at("gone");

    entry.packagePath = dir_.Join("no-such-file.bin");
    MemorySink sink;
    EXPECT_TRUE(ExtractEntry(entry, sink));
    ASSERT_EQ(3000u, sink.size);
    EXPECT_EQ(std::string(3000, '\0'), SinkBytes(sink));
    EXPECT_EQ((std::vector<std::string>{"MD5 error!", "out_size don't match"}), messages_.Captions());

    // A body that runs past the end of the file is read short.
    messages_.Clear();
    entry = index_.at("gone");
    entry.compressedSize += 100000;
    ExtractReport report;
    EXPECT_TRUE(ExtractEntry(entry, sink, &report));
    EXPECT_FALSE(report.bodyRead);
    EXPECT_EQ(3000u, sink.size);
    EXPECT_EQ("MD5 error!", messages_.Captions().at(0));
}

TEST_F(ExtractTest, DensestStreamLzoCanDecodeStillExtracts) {
    size_t decoded = 0;
    const std::string stream = DensestStream(20000, &decoded);
    ASSERT_GT(decoded, 254 * stream.size());  // as close to the bound as LZO1X gets
    Build({StoredRecord("dense", stream, uint32_t(decoded))});
    MemorySink sink;
    ExtractReport report;
    ASSERT_TRUE(ExtractByName(index_, "dense", sink, &report));
    EXPECT_TRUE(report.clean());
    EXPECT_FALSE(report.sizeRefused);
    EXPECT_EQ(std::string(decoded, 'x'), SinkBytes(sink));
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(ExtractTest, OriginalSizeTheBodyCannotYieldFailsBeforeAnythingIsAllocated) {
    const std::string stored = AbcStream();
    const uint32_t justTooLarge = uint32_t(stored.size() * 256 + 1);
    Build({StoredRecord("forged", stored, justTooLarge), StoredRecord("huge", stored, 0xFFFFFFF0u),
           StoredRecord("nothing", "", 1), StoredRecord("fits", stored, uint32_t(stored.size() * 256))});

    for (const char* name : {"forged", "huge", "nothing"}) {
        messages_.Clear();
        MemorySink sink;
        ExtractReport report;
        EXPECT_FALSE(ExtractByName(index_, name, sink, &report)) << name;
        EXPECT_TRUE(report.sizeRefused) << name;
        EXPECT_FALSE(report.lengthOk || report.bodyRead || report.delivered) << name;
        EXPECT_EQ(nullptr, sink.data) << name;  // nothing delivered, not even a cleared buffer
        EXPECT_EQ((std::vector<std::string>{"out_size don't match"}), messages_.Captions()) << name;
    }

    // At the bound the size may be true: the stream is decoded and found short, as any other.
    messages_.Clear();
    MemorySink sink;
    ExtractReport report;
    EXPECT_TRUE(ExtractByName(index_, "fits", sink, &report));
    EXPECT_FALSE(report.sizeRefused);
    EXPECT_FALSE(report.lengthOk);
    EXPECT_EQ(stored.size() * 256, sink.size);
}

TEST(SizeCanBeTrue, AllowsUpTo256BytesPerStreamByteWithoutOverflow) {
    EXPECT_TRUE(SizeCanBeTrue(0, 0));
    EXPECT_FALSE(SizeCanBeTrue(1, 0));
    EXPECT_TRUE(SizeCanBeTrue(256, 1));
    EXPECT_FALSE(SizeCanBeTrue(257, 1));
    EXPECT_TRUE(SizeCanBeTrue(0xFFFFFFFFu, 0x01000000u));  // 2^32 - 1 <= 2^32: the product is taken in 64 bits
    EXPECT_TRUE(SizeCanBeTrue(0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_FALSE(SizeCanBeTrue(0xFFFFFFFFu, 0x00FFFFFFu));
}

TEST_F(ExtractTest, RefusedDeliveryReturnsFalseWithoutLeak) {
    Build({MakeRecord("a", "alpha")});
    RefusingSink sink;
    EXPECT_FALSE(ExtractByName(index_, "a", sink));
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(ExtractTest, ReusedSinkHoldsOnlyTheLatestEntry) {
    Build({MakeRecord("one", "first entry"), MakeRecord("two", "second")});
    MemorySink sink;
    ASSERT_TRUE(ExtractByName(index_, "one", sink));
    ASSERT_TRUE(ExtractByName(index_, "two", sink));
    EXPECT_EQ("second", SinkBytes(sink));
    EXPECT_EQ(6u, sink.size);
}

TEST_F(ExtractTest, EmptyEntryDeliversZeroBytes) {
    Build({MakeRecord("empty.txt", "")});
    MemorySink sink;
    EXPECT_TRUE(ExtractByName(index_, "empty.txt", sink));
    EXPECT_EQ(0u, sink.size);
    EXPECT_NE(nullptr, sink.data);
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST(MemorySink, AcceptRefusesAbsentLabelOrBufferAndKeepsWhatItHeld) {
    MemorySink sink;
    EXPECT_EQ(0u, sink.size);
    EXPECT_EQ(nullptr, sink.data);
    EXPECT_EQ("", sink.name);

    unsigned char* first = new unsigned char[3]{'a', 'b', 'c'};
    ASSERT_TRUE(sink.Accept("label", first, 3));
    EXPECT_FALSE(sink.Accept("other", nullptr, 5));
    unsigned char* stray = new unsigned char[1];
    EXPECT_FALSE(sink.Accept(nullptr, stray, 1));
    delete[] stray;  // refused: still ours
    EXPECT_EQ(first, sink.data);
    EXPECT_EQ(3u, sink.size);
    EXPECT_EQ("label", sink.name);

    sink.Release();
    EXPECT_EQ(nullptr, sink.data);
    EXPECT_EQ(0u, sink.size);
    EXPECT_EQ("", sink.name);
}

TEST(MemorySink, LoadFileReadsWholeFileWithTwoZeroBytesAfter) {
    TempDir dir;
    const std::string path = dir.Join("file.txt");
    ASSERT_TRUE(WriteBytes(path, "content"));
    MemorySink sink;
    ASSERT_TRUE(sink.LoadFile(path.c_str()));
    EXPECT_EQ(7u, sink.size);
    EXPECT_EQ("content", SinkBytes(sink));
    EXPECT_EQ(0, sink.data[7]);
    EXPECT_EQ(0, sink.data[8]);
    EXPECT_EQ(path, sink.name);

    const std::string empty = dir.Join("empty.txt");
    ASSERT_TRUE(WriteBytes(empty, ""));
    EXPECT_FALSE(sink.LoadFile(empty.c_str()));
    EXPECT_EQ(0u, sink.size);
    EXPECT_EQ(nullptr, sink.data);

    ASSERT_TRUE(sink.LoadFile(path.c_str()));
    EXPECT_FALSE(sink.LoadFile(dir.Join("missing").c_str()));
    EXPECT_EQ("content", SinkBytes(sink));  // a file that cannot be opened changes nothing
}

namespace {
std::vector<std::string> gLogLines;
void RecordLogLine(const char* line) {
    gLogLines.push_back(line);
}
}  // namespace

TEST(MemorySink, LoadFileReportsUnreadableFileToTheLog) {
    TempDir dir;
    const std::string missing = dir.Join("missing.dat");
    gLogLines.clear();
    SetLogLineWriter(RecordLogLine);
    MemorySink sink;
    EXPECT_FALSE(sink.LoadFile(missing.c_str()));
    SetLogLineWriter(nullptr);
    ASSERT_EQ(1u, gLogLines.size());
    EXPECT_EQ("Error >> Can't load file[" + missing + "]\n", gLogLines[0]);
}
