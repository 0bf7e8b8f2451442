#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "installer/ResourceLibrary.h"
#include "tests/common/TempDir.h"

namespace {

const char kText[] = "曹操\xA1\xA1\xA1\xA1关羽张飞";
const char kLowSource[] = "data\\common\\japanese\\low\\font01b.png";
const char kLowTarget[] = "bg\\low\\user_font01b.tga";
constexpr int kWidth = 520;
constexpr int kHeight = 560;
constexpr int kGlyph = 20;
constexpr size_t kHeaderSize = 18;

// Every pixel different from its neighbours and opaque, so that a pixel out of place shows.
std::vector<uint8_t> SourcePixels(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = static_cast<uint8_t>(x * 3 + y);
            p[1] = static_cast<uint8_t>(x + y * 5);
            p[2] = static_cast<uint8_t>(x ^ y);
            p[3] = 255;
        }
    }
    return pixels;
}

// Writes pixels as a PNG through WIC's own encoder.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& pixels) {
    IWICImagingFactory* factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory))))
        return false;
    std::wstring wide(path.begin(), path.end());  // test paths are ASCII
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    bool ok = SUCCEEDED(factory->CreateStream(&stream)) &&
              SUCCEEDED(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)) &&
              SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
              SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
              IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) &&
              SUCCEEDED(frame->WritePixels(height, width * 4, static_cast<UINT>(pixels.size()),
                                           const_cast<BYTE*>(pixels.data()))) &&
              SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    if (frame)
        frame->Release();
    if (encoder)
        encoder->Release();
    if (stream)
        stream->Release();
    factory->Release();
    return ok;
}

void MakeParents(const std::string& path) {
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The build's library, copied into a folder of its own with a pack folder beside it, loaded for the test.
class UserFontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        pack_ = dir_.Join("quorvan");
        const std::string library = dir_.Join("SavePatch.qvx");
        ASSERT_TRUE(CopyFileA(QV_SAVEPATCH_FILE, library.c_str(), FALSE));
        module_ = LoadLibraryA(library.c_str());
        ASSERT_NE(nullptr, module_);
        createUserFont_ = reinterpret_cast<CreateUserFontProc>(
            reinterpret_cast<void*>(GetProcAddress(module_, kCreateUserFontExport)));
        ASSERT_NE(nullptr, createUserFont_);
    }
    void TearDown() override {
        if (module_)
            FreeLibrary(module_);
        CoUninitialize();
    }

    void PlaceSource(int width, int height) {
        const std::string path = pack_ + "\\" + kLowSource;
        MakeParents(path);
        ASSERT_TRUE(WritePng(path, width, height, SourcePixels(width, height)));
    }

    bool Render(const char* face, const char* target = kLowTarget, const char* text = kText) {
        return createUserFont_("520_560", kWidth, kHeight, "自创20", face, kGlyph, 5, 2, text, target, kLowSource);
    }

    // The rendered pixels, after checking the file's size and header.
    std::vector<uint8_t> ReadTarget(const char* target = kLowTarget) {
        std::string file;
        EXPECT_TRUE(ReadBytes(pack_ + "\\" + target, &file));
        const size_t pixelBytes = static_cast<size_t>(kWidth) * kHeight * 4;
        EXPECT_EQ(kHeaderSize + pixelBytes + 26, file.size());
        if (file.size() < kHeaderSize + pixelBytes)
            return {};
        const std::string header = file.substr(0, kHeaderSize);
        const std::string expected("\0\0\x02\0\0\0\0\0\0\0\0\0\x08\x02\x30\x02\x20\x28", kHeaderSize);  // 520, 560
        EXPECT_EQ(expected, header);
        return std::vector<uint8_t>(file.begin() + kHeaderSize, file.begin() + kHeaderSize + pixelBytes);
    }

    // The most ink (alpha) in the cell of position k of the text block.
    static int InkInCell(const std::vector<uint8_t>& pixels, int k) {
        int most = 0;
        const int left = (5 + k) * kGlyph;
        const int top = 2 * kGlyph;
        for (int y = top; y < top + kGlyph; ++y)
            for (int x = left; x < left + kGlyph; ++x)
                most = std::max<int>(most, pixels[(static_cast<size_t>(y) * kWidth + x) * 4 + 3]);
        return most;
    }

    TempDir dir_;
    std::string pack_;
    HMODULE module_ = nullptr;
    CreateUserFontProc createUserFont_ = nullptr;
};

bool InCells(int x, int y) {
    return y >= 2 * kGlyph && y < 3 * kGlyph && x >= 5 * kGlyph && x < 13 * kGlyph;
}

TEST_F(UserFontTest, GlyphsGoIntoTheirCellsAndEveryOtherPixelIsTheSources) {
    PlaceSource(kWidth, kHeight);
    ASSERT_TRUE(Render("WenQuanYi Micro Hei"));
    const std::vector<uint8_t> pixels = ReadTarget();
    ASSERT_FALSE(pixels.empty());
    const std::vector<uint8_t> source = SourcePixels(kWidth, kHeight);
    size_t differing = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (!InCells(x, y))
                differing += std::memcmp(&pixels[(static_cast<size_t>(y) * kWidth + x) * 4],
                                         &source[(static_cast<size_t>(y) * kWidth + x) * 4], 4) != 0;
    EXPECT_EQ(0u, differing);
    for (int k : {0, 1, 4, 5, 6, 7})
        EXPECT_GT(InkInCell(pixels, k), 200) << "cell " << k;
    for (int k : {2, 3})
        EXPECT_EQ(0, InkInCell(pixels, k)) << "filler cell " << k;
    EXPECT_FALSE(Exists(pack_ + "\\" + kLowTarget + ".partial"));
}

TEST_F(UserFontTest, DifferentFacesGiveDifferentGlyphs) {
    PlaceSource(kWidth, kHeight);
    ASSERT_TRUE(Render("WenQuanYi Micro Hei"));
    const std::vector<uint8_t> first = ReadTarget();
    ASSERT_TRUE(Render("AR PL UMing CN"));
    const std::vector<uint8_t> second = ReadTarget();
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(first, second);
}

TEST_F(UserFontTest, MissingOrWrongSizedSourceFailsAndWritesNothing) {
    EXPECT_FALSE(Render("WenQuanYi Micro Hei"));  // no source at all
    PlaceSource(kWidth, kHeight - 1);
    EXPECT_FALSE(Render("WenQuanYi Micro Hei"));
    EXPECT_FALSE(Exists(pack_ + "\\bg"));
}

TEST_F(UserFontTest, FailedRenderLeavesAnEarlierTextureAsItWas) {
    PlaceSource(kWidth, kHeight);
    ASSERT_TRUE(Render("WenQuanYi Micro Hei"));
    std::string before;
    ASSERT_TRUE(ReadBytes(pack_ + "\\" + kLowTarget, &before));
    EXPECT_FALSE(Render("WenQuanYi Micro Hei", kLowTarget, "曹操"));  // a text block cut short
    EXPECT_FALSE(createUserFont_("520_560", kWidth, kHeight, "自创20", "", 32, 5, 2, kText, kLowTarget,
                                 kLowSource));  // glyph size that is not this grid's
    std::string after;
    ASSERT_TRUE(ReadBytes(pack_ + "\\" + kLowTarget, &after));
    EXPECT_EQ(before, after);
}

}  // namespace
