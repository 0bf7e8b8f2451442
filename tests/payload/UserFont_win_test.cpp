#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "installer/ResourceLibrary_win.h"
#include "support/StdioFile.h"
#include "support/SystemText_win.h"
#include "tests/common/HostLinks_win.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestFiles_win.h"

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
    const std::wstring wide = Wide(path);
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

// The tests' paths are GBK, as the library's are, and reach the system through the wide functions.
void MakeParents(const std::string& path) {
    const std::wstring wide = Wide(path);
    for (size_t i = 3; i < wide.size(); ++i)
        if (wide[i] == L'\\')
            CreateDirectoryW(wide.substr(0, i).c_str(), nullptr);
}

// The folder of a file's path and its name there.
std::string FolderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\'));
}
std::string LeafOf(const std::string& path) {
    return path.substr(path.find_last_of('\\') + 1);
}

// The build's library, copied into a folder of its own with a pack folder beside it, loaded for the test.
class UserFontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        LoadIn(dir_.path());
    }
    void TearDown() override {
        if (module_)
            FreeLibrary(module_);
        CoUninitialize();
    }

    // The library copied into folder (GBK) and loaded from there instead; its pack folder is the one beside it.
    void LoadIn(const std::string& folder) {
        if (module_)
            FreeLibrary(module_);
        module_ = nullptr;
        createUserFont_ = nullptr;
        pack_ = folder + "\\quorvan";
        const std::wstring library = Wide(folder + "\\SavePatch.qvx");
        CreateDirectoryW(Wide(folder).c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(Wide(QV_SAVEPATCH_FILE).c_str(), library.c_str(), FALSE));
        module_ = LoadLibraryW(library.c_str());
        ASSERT_NE(nullptr, module_);
        createUserFont_ = reinterpret_cast<CreateUserFontProc>(
            reinterpret_cast<void*>(GetProcAddress(module_, kCreateUserFontExport)));
        ASSERT_NE(nullptr, createUserFont_);
    }

    // A folder of its own for the next case of a table, with the library loaded from there.
    std::string LoadInNextCase() {
        const std::string folder = dir_.Join("case" + std::to_string(++cases_));
        LoadIn(folder);
        return folder;
    }

    // Somebody else's files at these names below outside (their folders made), each holding kOutsideBytes.
    static constexpr char kOutsideBytes[] = "somebody else's file";
    static void PlaceOutside(const TempDir& outside, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const std::string path = outside.Join(name);
            MakeParents(path);
            ASSERT_TRUE(WriteBytes(path, kOutsideBytes));
        }
    }

    void PlaceSource(int width, int height, const std::string& path) {
        MakeParents(path);
        ASSERT_TRUE(WritePng(path, width, height, SourcePixels(width, height)));
    }
    void PlaceSource(int width, int height) { PlaceSource(width, height, pack_ + "\\" + kLowSource); }

    bool Render(const char* face,
                const char* target = kLowTarget,
                const char* text = kText,
                const char* source = kLowSource) {
        return createUserFont_("520_560", kWidth, kHeight, "自创20", face, kGlyph, 5, 2, text, target, source);
    }

    // The rendered pixels, after checking the file's size and header; a relative target is the pack folder's.
    std::vector<uint8_t> ReadTarget(const char* target = kLowTarget) {
        const bool absolute = target[0] != 0 && target[1] == ':';
        std::string file;
        EXPECT_TRUE(ReadFileBytes(absolute ? std::string(target) : pack_ + "\\" + target, &file)) << target;
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
    int cases_ = 0;  // LoadInNextCase's folders so far
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
    EXPECT_EQ(std::vector<std::string>{"user_font01b.tga"}, NamesIn(pack_ + "\\bg\\low"));  // nothing left beside it
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

// Chinese (and kana) folder, source and target names, as the pack and the user's game folder may have them: the
// library finds its own folder, reads the source and writes the texture at the GBK paths it is given, whatever the
// system's code page. "@" stands for the test's folder in an absolute path.
TEST_F(UserFontTest, TexturesAreReadAndWrittenAtGbkPaths) {
    struct Case {
        const char* libraryFolder;  // in the test's folder
        const char* source;
        const char* target;
    };
    const Case cases[] = {
        {"汉化包", kLowSource, "bg\\低清\\自创字体01b.tga"},
        {"真三国无双3", "@\\原图\\字库.png", "@\\输出\\字体.tga"},
        {"セーブ", "data\\日本語\\font01b.png", "bg\\セーブ.tga"},
    };
    for (const Case& c : cases) {
        LoadIn(dir_.Join(c.libraryFolder));
        auto place = [&](const char* path) {
            const std::string text(path);
            return text[0] == '@' ? dir_.path() + text.substr(1) : text;
        };
        const std::string source = place(c.source);
        const std::string target = place(c.target);
        PlaceSource(kWidth, kHeight, source[1] == ':' ? source : pack_ + "\\" + source);
        ASSERT_TRUE(Render("WenQuanYi Micro Hei", target.c_str(), kText, source.c_str())) << c.libraryFolder;
        const std::vector<uint8_t> pixels = ReadTarget(target.c_str());
        ASSERT_FALSE(pixels.empty()) << c.libraryFolder;
        EXPECT_GT(InkInCell(pixels, 0), 200) << c.libraryFolder;
        EXPECT_EQ(0, InkInCell(pixels, 2)) << c.libraryFolder;
        const std::string written = target[1] == ':' ? target : pack_ + "\\" + target;
        EXPECT_EQ(std::vector<std::string>{LeafOf(written)}, NamesIn(FolderOf(written))) << c.libraryFolder;
    }
}

// A path or face that is not GBK (0xFF never begins a GBK character) is refused before anything is read or written.
TEST_F(UserFontTest, PathsAndFacesThatAreNotGbkFailAndWriteNothing) {
    PlaceSource(kWidth, kHeight);
    struct Case {
        const char* what;
        const char* face;
        const char* target;
        const char* source;
    };
    const Case cases[] = {
        {"target", "WenQuanYi Micro Hei", "bg\\\xFF\xFF.tga", kLowSource},
        {"source", "WenQuanYi Micro Hei", kLowTarget, "data\\\xFF\xFF.png"},
        {"face", "\xFF\xFF", kLowTarget, kLowSource},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(Render(c.face, c.target, kText, c.source)) << c.what;
    EXPECT_FALSE(Exists(pack_ + "\\bg"));
}

// Another program of the session put a link where the texture goes or where its source lies: a symbolic link of the
// machine Wine runs on, or a hard link, to a file or folder outside. The render fails, nothing is written through
// the link or read through it, and what it leads to keeps its bytes and gets no file of ours. A target that leaves
// the pack folder is refused as well.
TEST_F(UserFontTest, TextureOrSourceBehindALinkIsNeitherWrittenNorRead) {
    enum class Link { kSymbolic, kHard, kNone };
    struct Case {
        const char* what;
        const char* link;     // below the pack folder ("" for the pack folder itself)
        const char* outside;  // what it leads to, in the outside folder
        Link kind;
        const char* target;
    };
    const Case cases[] = {
        {"texture a link to a file outside", kLowTarget, "victim.tga", Link::kSymbolic, kLowTarget},
        {"texture a hard link to a file outside", kLowTarget, "victim.tga", Link::kHard, kLowTarget},
        {"texture folder a link to a folder outside", "bg\\low", "folder", Link::kSymbolic, kLowTarget},
        {"pack folder a link to a folder outside", "", "pack", Link::kSymbolic, kLowTarget},
        {"source a link to a picture outside", kLowSource, "picture.png", Link::kSymbolic, kLowTarget},
        {"target above the pack folder", "", nullptr, Link::kNone, "..\\escape.tga"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir outside;
        const std::string folder = LoadInNextCase();
        // Outside: a file, a folder with a file, a pack folder and a picture that would all render.
        ASSERT_NO_FATAL_FAILURE(PlaceOutside(outside, {"victim.tga", "folder\\user_font01b.tga"}));
        PlaceSource(kWidth, kHeight, outside.Join("pack\\") + kLowSource);
        PlaceSource(kWidth, kHeight, outside.Join("picture.png"));
        const std::vector<std::string> outsideNames = NamesIn(outside.path());
        const std::string link = *c.link ? pack_ + "\\" + c.link : pack_;
        if (c.kind != Link::kNone) {
            if (std::string(c.link) != kLowSource && *c.link)
                PlaceSource(kWidth, kHeight);
            MakeParents(link);
            const std::string to = outside.Join(c.outside);
            ASSERT_TRUE(c.kind == Link::kHard ? CreateHardLinkW(Wide(link).c_str(), Wide(to).c_str(), nullptr) != FALSE
                                              : MakeUnixLink(to, link));
        } else {
            PlaceSource(kWidth, kHeight);
        }

        EXPECT_FALSE(Render("WenQuanYi Micro Hei", c.target));
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(outside.Join("victim.tga"), &bytes));
        EXPECT_EQ(kOutsideBytes, bytes);
        ASSERT_TRUE(ReadFileBytes(outside.Join("folder\\user_font01b.tga"), &bytes));
        EXPECT_EQ(kOutsideBytes, bytes);
        EXPECT_EQ(outsideNames, NamesIn(outside.path()));
        EXPECT_EQ(std::vector<std::string>{"user_font01b.tga"}, NamesIn(outside.Join("folder")));
        EXPECT_EQ(std::vector<std::string>{"data"}, NamesIn(outside.Join("pack")));
        EXPECT_EQ(std::vector<std::string>({"SavePatch.qvx", "quorvan"}), NamesIn(folder));
        if (c.kind == Link::kSymbolic) {
            ASSERT_TRUE(RemoveOnHost(link));  // as a link: Wine would delete what it leads to
        }
    }
}

// The same library's other export, ResourceInstall, loaded from a Chinese folder: the index names every file of the
// pack by its GBK name (a trail byte that is a capital letter stays as it is), whatever the system's code page, and
// leaves out what GBK cannot name.
using ResourceInstallTest = UserFontTest;

TEST_F(ResourceInstallTest, IndexNamesFilesByTheirGbkNamesAndLeavesOutWhatGbkCannotName) {
    LoadIn(dir_.Join("真三国无双3"));
    const auto install =
        reinterpret_cast<ResourceInstallProc>(reinterpret_cast<void*>(GetProcAddress(module_, kResourceInstallExport)));
    ASSERT_NE(nullptr, install);
    const std::wstring pack = Wide(pack_);
    struct File {
        const wchar_t* name;  // below the pack folder
        const char* content;
    };
    const File files[] = {
        {L"\u66F9\u64CD.txt", "hello"},               // 曹操.txt
        {L"\u8A9E\\Ab.BIN", ""},                      // 語 (D5 5A) \ Ab.BIN
        {L"\uD55C\uAE00.txt", "left out"},            // Korean
        {L"\uD55C\\inside.txt", "left out as well"},  // a Korean folder
    };
    for (const File& file : files) {
        const std::wstring path = pack + L"\\" + file.name;
        for (size_t i = 3; i < path.size(); ++i)
            if (path[i] == L'\\')
                CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
        HANDLE made = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, made);
        DWORD written = 0;
        WriteFile(made, file.content, DWORD(std::strlen(file.content)), &written, nullptr);
        CloseHandle(made);
    }
    char status[512] = {};
    install(true, nullptr, status);
    EXPECT_STREQ("正在安装资源 100% (2/2)", status);
    std::string index;
    ASSERT_TRUE(ReadFileBytes(pack_ + "\\resource.lst", &index));
    std::vector<std::string> lines;
    for (size_t at = 0; at < index.size();) {
        const size_t end = index.find("\r\n", at);
        ASSERT_NE(std::string::npos, end) << index;
        lines.push_back(index.substr(at, end - at));
        at = end + 2;
    }
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> expected = {"\xD5\x5A\\ab.bin\t0\td41d8cd98f00b204e9800998ecf8427e",
                                         "曹操.txt\t5\t5d41402abc4b2a76b9719d911017c592"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, lines);
}

// What ResourceInstall says in the status text: the progress line, or the failure text the installer looks for.
class ResourceInstallRun : public UserFontTest {
  protected:
    std::string Install() {
        const auto install = reinterpret_cast<ResourceInstallProc>(
            reinterpret_cast<void*>(GetProcAddress(module_, kResourceInstallExport)));
        EXPECT_NE(nullptr, install);
        char status[512];
        std::memset(status, 'Z', sizeof status);
        if (install)
            install(true, nullptr, status);
        EXPECT_NE(nullptr, std::memchr(status, 0, sizeof status)) << "the status text is not terminated";
        return std::string(status, strnlen(status, sizeof status));
    }

    // The index's lines, sorted; empty when there is none.
    std::vector<std::string> IndexLines() {
        std::string index;
        std::vector<std::string> lines;
        if (!ReadFileBytes(pack_ + "\\resource.lst", &index))
            return lines;
        for (size_t at = 0, end; (end = index.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(index.substr(at, end - at));
        std::sort(lines.begin(), lines.end());
        return lines;
    }
};

const char kListedLine[] = "ok.txt\t5\t5d41402abc4b2a76b9719d911017c592";  // "hello"

// A folder or file below the pack folder that is a link, the pack folder itself a link, or an index that is one: never
// entered, read or written through, left out of the index (the rest is listed), and told in the status text, which
// begins with the failure text and names the first of them. What the links lead to stays as it was.
TEST_F(ResourceInstallRun, LinksBelowThePackFolderAreNeitherEnteredNorListedAndAreTold) {
    enum class Link { kSymbolic, kHard };
    struct Case {
        const char* what;
        std::vector<const char*> links;  // below the pack folder ("" for the pack folder); all to outside
        Link kind;
        const char* status;  // after the pack folder's path (the first link's, for more than one)
        bool listed;         // ok.txt is in the index
    };
    const Case cases[] = {
        {"folder a link to a folder outside",
         {"sub"},
         Link::kSymbolic,
         "资源安装失败：以下文件夹是链接, 未列入资源索引: @\\sub",
         true},
        {"file a link to a file outside",
         {"secret.txt"},
         Link::kSymbolic,
         "资源安装失败：以下文件是链接, 未列入资源索引: @\\secret.txt",
         true},
        {"file a hard link to a file outside",
         {"secret.txt"},
         Link::kHard,
         "资源安装失败：以下文件是链接, 未列入资源索引: @\\secret.txt",
         true},
        {"index a link to a file outside",
         {"resource.lst"},
         Link::kSymbolic,
         "资源安装失败：以下文件是链接, 未写入: @\\resource.lst",
         false},
        {"pack folder a link to a folder outside",
         {""},
         Link::kSymbolic,
         "资源安装失败：以下文件夹是链接, 未列入资源索引: @",
         false},
        {"two links",
         {"a.txt", "b.txt"},
         Link::kSymbolic,
         "资源安装失败(共2处)：以下文件是链接, 未列入资源索引: @\\",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir outside;
        const std::string folder = LoadInNextCase();
        ASSERT_NO_FATAL_FAILURE(PlaceOutside(outside, {"secret.txt", "sub\\secret.txt"}));
        const std::vector<std::string> outsideNames = NamesIn(outside.path());
        if (*c.links[0]) {
            MakeParents(pack_ + "\\ok.txt");
            ASSERT_TRUE(WriteBytes(pack_ + "\\ok.txt", "hello"));
        }
        for (const char* name : c.links) {
            const std::string link = *name ? pack_ + "\\" + name : pack_;
            const std::string to = outside.Join(std::string(name) == "sub" || !*name ? "sub" : "secret.txt");
            ASSERT_TRUE(c.kind == Link::kHard ? CreateHardLinkW(Wide(link).c_str(), Wide(to).c_str(), nullptr) != FALSE
                                              : MakeUnixLink(to, link));
        }

        const std::string status = Install();
        std::string expected = c.status;
        expected.replace(expected.find('@'), 1, pack_);
        if (c.links.size() == 1)
            EXPECT_EQ(expected, status);
        else
            EXPECT_EQ(0u, status.find(expected)) << status;
        EXPECT_EQ(c.listed ? std::vector<std::string>{kListedLine} : std::vector<std::string>(), IndexLines());
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(outside.Join("secret.txt"), &bytes));
        EXPECT_EQ(kOutsideBytes, bytes);
        EXPECT_EQ(outsideNames, NamesIn(outside.path()));
        EXPECT_EQ(std::vector<std::string>{"secret.txt"}, NamesIn(outside.Join("sub")));
        if (c.kind == Link::kSymbolic) {
            ASSERT_TRUE(RemoveOnHost(folder));  // links as links: Wine would delete what they lead to
        }
    }
}

// A failure text longer than the caller's 512 bytes (a link of a long Chinese name deep in folders of long Chinese
// names) is cut to at most 511 bytes after a whole character: never half of one before the terminator. (Wine tells
// where a handle is only for paths of up to about MAX_PATH: the link leads to a short one, and the folders are short
// enough.)
TEST_F(ResourceInstallRun, FailureTextIsCutAfterAWholeCharacterToFitTheStatusBuffer) {
    TempDir outside;
    ASSERT_TRUE(WriteBytes(outside.Join("secret.txt"), "x"));
    std::string name;
    for (int i = 0; i < 80; ++i)
        name += "汉";  // 80 characters: 160 bytes of GBK, 240 of UTF-8 in the host's name
    const std::string prefix = "资源安装失败：以下文件是链接, 未列入资源索引: ";
    // One ASCII letter more or less in the folder's name decides whether a plain 511-byte cut would split a
    // character: the folder is named so that it would.
    for (const char* pad : {"", "a"}) {
        LoadIn(dir_.Join(std::string("f") + pad));
        const std::string deep = pack_ + "\\" + name + "\\" + name;
        const std::string link = deep + "\\" + name;
        const std::string full = prefix + link;
        size_t at = 0;
        while (at < 510)
            at += (full[at] & 0x80) ? 2 : 1;
        if (at != 510)
            continue;  // a character ends at byte 511: the other pad
        ASSERT_GT(full.size(), 511u);
        MakeParents(deep + "\\x");
        ASSERT_TRUE(MakeUnixLink(outside.Join("secret.txt"), "\\\\?\\" + link));
        const std::string status = Install();
        EXPECT_EQ(full.substr(0, 510), status);
        std::wstring wide;
        EXPECT_TRUE(WideFromGbk(status, &wide));
        ASSERT_TRUE(RemoveOnHost(FolderOf(pack_)));  // the link as a link
        return;
    }
    FAIL() << "neither folder name puts a character across the cut";
}

}  // namespace
