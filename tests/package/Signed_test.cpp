// An installer signed after packing: the certificate table follows the package, and the security directory of
// the PE image says where it lies.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "package/Extract.h"
#include "package/Package.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPackage.h"

namespace {

class SignedTest : public ::testing::Test {
  protected:
    std::string Path() const { return dir_.Join("setup.exe"); }

    // An installer packed onto image, as the packer writes it.
    std::string Packed(const std::string& image) {
        EXPECT_TRUE(WriteTestPackage(Path(), records_, CompressionLevel::kFast, image));
        std::string bytes;
        EXPECT_TRUE(ReadBytes(Path(), &bytes));
        return bytes;
    }
    IndexResult Index(const std::string& bytes) {
        index_.clear();
        EXPECT_TRUE(WriteBytes(Path(), bytes));
        return IndexPackageFile(Path().c_str(), index_);
    }
    std::string Extracted(const std::string& name) {
        MemorySink sink;
        EXPECT_TRUE(ExtractByName(index_, name.c_str(), sink)) << name;
        return sink.data ? std::string(reinterpret_cast<const char*>(sink.data), sink.size) : std::string();
    }

    TempDir dir_;
    PackageIndex index_;
    const std::string content_ = TextLikeBytes(30000, 5);
    const std::vector<TestRecord> records_ = {MakeRecord("winpos.txt", "layout"),
                                              MakeRecord("quorvan\\data.bin", content_)};
};

TEST_F(SignedTest, PackageIsFoundBeforeTheCertificateTableWhateverThePadding) {
    MessageRecorder messages;
    std::set<size_t> paddings;
    for (bool pe32Plus : {false, true}) {
        for (size_t extra = 0; extra < 8; ++extra) {
            std::string bytes = Packed(MinimalPeImage(pe32Plus, extra));
            const size_t unsignedSize = bytes.size();
            size_t padding = 0;
            ASSERT_TRUE(AppendCertificateTable(&bytes, RandomBytes(1500 + extra, 9), &padding));
            paddings.insert(padding);

            const IndexResult result = Index(bytes);
            ASSERT_EQ(IndexStatus::kOk, result.status) << "PE32+ " << pe32Plus << ", padding " << padding;
            EXPECT_EQ(2u, result.records);
            EXPECT_EQ(CertificateState::kEndsFile, result.certificate.state);
            EXPECT_EQ(int64_t(unsignedSize + padding), result.certificate.offset);
            EXPECT_EQ(bytes.size() - unsignedSize - padding, result.certificate.size);
            EXPECT_EQ("layout", Extracted("WINPOS.TXT"));
            EXPECT_EQ(content_, Extracted("quorvan\\data.bin"));
        }
    }
    EXPECT_EQ(8u, paddings.size());  // every padding from 0 to 7 was seen
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(SignedTest, SecurityDirectoryThatDoesNotEndTheFileMeansNoPackage) {
    // An image after which the packer's output needs padding before the table.
    std::string image;
    for (size_t extra = 0; image.empty() || Packed(image).size() % 8 == 0; ++extra)
        image = MinimalPeImage(true, extra);
    std::string signedBytes = Packed(image);
    ASSERT_TRUE(AppendCertificateTable(&signedBytes, RandomBytes(900, 4)));
    const std::string unsignedBytes = Packed(image);
    const uint32_t tableOffset = uint32_t((unsignedBytes.size() + 7) / 8 * 8);
    const uint32_t tableSize = uint32_t(signedBytes.size() - tableOffset);

    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    // Signed first and packed afterwards: the trailer ends the file, but the table does not.
    std::string signedImage = image;
    ASSERT_TRUE(AppendCertificateTable(&signedImage, RandomBytes(700, 2)));
    cases.push_back({"packed after signing", Packed(signedImage)});
    cases.push_back({"bytes after the table", signedBytes + std::string(8, '\0')});
    std::string beyond = signedBytes;
    ASSERT_TRUE(SetSecurityDirectory(&beyond, tableOffset, tableSize + 8));
    cases.push_back({"table runs past the end", beyond});
    std::string huge = signedBytes;
    ASSERT_TRUE(SetSecurityDirectory(&huge, 0xFFFFFFF8u, 0xFFFFFFF0u));
    cases.push_back({"table far outside the file", huge});
    std::string empty = signedBytes;
    ASSERT_TRUE(SetSecurityDirectory(&empty, uint32_t(signedBytes.size()), 0));
    cases.push_back({"an empty table at the end", empty});
    std::string inHeaders = signedBytes;
    ASSERT_TRUE(SetSecurityDirectory(&inHeaders, 8, uint32_t(signedBytes.size() - 8)));
    cases.push_back({"table over the headers", inHeaders});
    std::string dirty = signedBytes;
    dirty[tableOffset - 1] = 'x';  // the padding before the table is zero bytes only
    cases.push_back({"non-zero bytes before the table", dirty});

    MessageRecorder messages;
    for (const Case& c : cases) {
        const IndexResult result = Index(c.bytes);
        EXPECT_EQ(IndexStatus::kNoPackage, result.status) << c.what;
        EXPECT_TRUE(index_.empty()) << c.what;
    }
    EXPECT_EQ(CertificateState::kMisplaced, Index(cases[0].bytes).certificate.state);
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(SignedTest, FilesWithoutACertificateTableIndexAsBefore) {
    struct Case {
        const char* what;
        std::string image;
        bool peImage;
    };
    std::string fewDirectories = MinimalPeImage(false, 40);
    ASSERT_TRUE(SetSecurityDirectory(&fewDirectories, 16, 0x7FFFFFF0u));
    fewDirectories[0x40 + 24 + 92] = 4;  // NumberOfRvaAndSizes: entry 4 is not a directory at all
    std::string noPeSignature = MinimalPeImage(true, 40);
    ASSERT_TRUE(SetSecurityDirectory(&noPeSignature, 16, 0x7FFFFFF0u));
    noPeSignature[0x41] = 'X';
    std::string farPeHeader = MinimalPeImage(true);
    farPeHeader[0x3F] = char(0x7F);  // e_lfanew beyond the file
    const Case cases[] = {
        {"PE32 without a signature", MinimalPeImage(false, 5), true},
        {"PE32+ without a signature", MinimalPeImage(true, 11), true},
        {"security directory past NumberOfRvaAndSizes", fewDirectories, true},
        {"no PE signature", noPeSignature, false},
        {"PE header beyond the file", farPeHeader, false},
        {"MZ alone", "MZ", false},
        {"no image", "", false},
    };
    for (const Case& c : cases) {
        const IndexResult result = Index(Packed(c.image));
        EXPECT_EQ(IndexStatus::kOk, result.status) << c.what;
        EXPECT_EQ(CertificateState::kNone, result.certificate.state) << c.what;
        EXPECT_EQ(c.peImage, result.certificate.peImage) << c.what;
        EXPECT_EQ(content_, Extracted("quorvan\\data.bin")) << c.what;
    }
    // Zero bytes after an unsigned package are not padding: the trailer must end the file.
    EXPECT_EQ(IndexStatus::kNoPackage, Index(Packed(MinimalPeImage(false)) + std::string(4, '\0')).status);
}

}  // namespace
