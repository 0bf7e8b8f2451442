// "packtool brand" on images that the mingw toolchains linked from windres-built resources: the tool's result,
// read back, must hold exactly what windres builds from the maintainer's inputs, the rest of the image must stay as
// it was, and objdump and osslsigncode must accept the layout.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "package/Package.h"
#include "tests/common/TempDir.h"
#include "tools/packtool/Branding.h"
#include "tools/packtool/PeResources.h"

namespace {

using Bytes = std::vector<unsigned char>;

const std::string kFixture = QV_BRAND_FIXTURE;

Bytes ReadFile(const std::string& path) {
    std::string bytes;
    if (!ReadBytes(path, &bytes))
        ADD_FAILURE() << "cannot read " << path;
    return Bytes(bytes.begin(), bytes.end());
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    return WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

uint32_t Get32(const Bytes& bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}
void Put32(Bytes& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A .res file: after the empty first entry, records of data size, header size, type, name (each 0xFFFF and a
// number, or a NUL-terminated UTF-16 name), padding to 4, data version, memory flags, language, version,
// characteristics, then the data, padded to 4.
std::vector<ResourceLeaf> ReadResFile(const std::string& path) {
    Bytes d = ReadFile(path);
    std::vector<ResourceLeaf> leaves;
    auto id = [&](size_t* at) {
        ResourceId result;
        if (d[*at] == 0xFF && d[*at + 1] == 0xFF) {
            result.number = static_cast<uint16_t>(d[*at + 2] | d[*at + 3] << 8);
            *at += 4;
            return result;
        }
        for (;;) {
            char16_t unit = static_cast<char16_t>(d[*at] | d[*at + 1] << 8);
            *at += 2;
            if (unit == 0)
                return result;
            result.name.push_back(unit);
        }
    };
    for (size_t at = 0; at + 8 <= d.size();) {
        uint32_t dataSize = Get32(d, at);
        uint32_t headerSize = Get32(d, at + 4);
        size_t field = at + 8;
        ResourceLeaf leaf;
        leaf.type = id(&field);
        leaf.name = id(&field);
        field = (field + 3) & ~size_t(3);
        leaf.language = static_cast<uint16_t>(d[field + 6] | d[field + 7] << 8);
        leaf.data.assign(d.begin() + at + headerSize, d.begin() + at + headerSize + dataSize);
        if (leaf.type.IsName() || leaf.type.number != 0)
            leaves.push_back(leaf);
        at = (at + headerSize + dataSize + 3) & ~size_t(3);
    }
    return leaves;
}

std::string Describe(const ResourceId& id) {
    if (!id.IsName())
        return std::to_string(id.number);
    return std::string(id.name.begin(), id.name.end());
}

auto Key(const ResourceLeaf& leaf) {
    return std::make_tuple(leaf.type.IsName(), leaf.type.name, leaf.type.number, leaf.name.IsName(), leaf.name.name,
                           leaf.name.number, leaf.language);
}

// Every leaf of one set is in the other with the same bytes.
void ExpectSameResources(std::vector<ResourceLeaf> expected, std::vector<ResourceLeaf> actual) {
    auto order = [](const ResourceLeaf& a, const ResourceLeaf& b) { return Key(a) < Key(b); };
    std::sort(expected.begin(), expected.end(), order);
    std::sort(actual.begin(), actual.end(), order);
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("type " + Describe(expected[i].type) + ", name " + Describe(expected[i].name));
        EXPECT_TRUE(Key(expected[i]) == Key(actual[i]))
            << "found type " << Describe(actual[i].type) << ", name " << Describe(actual[i].name);
        EXPECT_EQ(expected[i].language, actual[i].language);
        EXPECT_TRUE(expected[i].data == actual[i].data)
            << expected[i].data.size() << " against " << actual[i].data.size() << " bytes";
    }
}

std::vector<ResourceLeaf> ResourcesOf(const std::string& image) {
    std::vector<ResourceLeaf> leaves;
    std::string why;
    EXPECT_TRUE(ReadResources(ReadFile(image), &leaves, &why)) << image << ": " << why;
    return leaves;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct ToolRun {
    int status;
    std::string err;
};

class BrandTest : public ::testing::Test {
  protected:
    // Runs a command line through the shell; its standard error is kept.
    ToolRun Shell(const std::string& command) {
        const std::string err = dir_.Join("stderr.txt");
        int raw = std::system((command + " >" + dir_.Join("stdout.txt") + " 2>" + err).c_str());
        ToolRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ""};
        ReadBytes(err, &run.err);
        return run;
    }
    ToolRun Packtool(const std::vector<std::string>& args) {
        std::string command = QV_PACKTOOL;
        for (const std::string& arg : args)
            command += " " + Quote(arg);
        return Shell(command);
    }
    // packtool brand IMAGE OUT with the options that the fixture wrote for this set.
    ToolRun BrandWithSet(const std::string& image, const std::string& out, const std::string& set) {
        std::vector<std::string> args = {"brand", image, out};
        std::ifstream options(kFixture + "/" + set + "/brand.args");
        for (std::string line; std::getline(options, line);)
            args.push_back(line);
        return Packtool(args);
    }
    std::vector<std::string> PictureArgs(const std::string& image, const std::string& out) {
        return {"brand", image, out, "--normal", kFixture + "/big/window1.bmp", "--hot", kFixture + "/big/window2.bmp"};
    }

    TempDir dir_;
};

const char* const kImages[] = {"ours32.exe", "ours64.exe"};

}  // namespace

TEST_F(BrandTest, ReaderSeesWhatWindresWrote) {
    for (const char* image : kImages) {
        SCOPED_TRACE(image);
        ExpectSameResources(ReadResFile(kFixture + "/ours.res"), ResourcesOf(kFixture + "/" + image));
    }
}

// The pictures, icon, cursor and texts of the set, as windres builds them from the same files and texts: the
// resources grow ("big"), shrink ("small"), and shrink after growing.
TEST_F(BrandTest, BrandedImageHoldsWhatWindresBuildsFromTheSameInputs) {
    for (const char* image : kImages) {
        SCOPED_TRACE(image);
        const std::string original = kFixture + "/" + image;
        for (const char* set : {"big", "small"}) {
            SCOPED_TRACE(set);
            const std::string out = dir_.Join(std::string(set) + "-" + image);
            ToolRun run = BrandWithSet(original, out, set);
            ASSERT_EQ(0, run.status) << run.err;
            EXPECT_EQ("", run.err);
            ExpectSameResources(ReadResFile(kFixture + "/" + set + ".res"), ResourcesOf(out));
            ToolRun objdump = Shell(std::string(QV_OBJDUMP) + " -p " + Quote(out));
            EXPECT_EQ(0, objdump.status) << objdump.err;
            EXPECT_EQ("", objdump.err);
        }
        // Shrunk after growing: small's pictures, big's icon and cursor (small names none); the version texts of
        // both, which the other cases check.
        const std::string twice = dir_.Join(std::string("twice-") + image);
        ASSERT_EQ(0, BrandWithSet(dir_.Join(std::string("big-") + image), twice, "small").status);
        auto withoutVersion = [](std::vector<ResourceLeaf> leaves) {
            leaves.erase(std::remove_if(leaves.begin(), leaves.end(),
                                        [](const ResourceLeaf& leaf) { return leaf.type.number == kTypeVersion; }),
                         leaves.end());
            return leaves;
        };
        std::vector<ResourceLeaf> expected = withoutVersion(ReadResFile(kFixture + "/big.res"));
        for (const ResourceLeaf& leaf : ReadResFile(kFixture + "/small.res")) {
            for (ResourceLeaf& mine : expected) {
                if (leaf.type.number == kTypeBitmap && mine.type.number == kTypeBitmap && mine.name == leaf.name)
                    mine.data = leaf.data;
            }
        }
        ExpectSameResources(expected, withoutVersion(ResourcesOf(twice)));
    }
}

// Apart from the resource section, its size fields, the directory entries and the checksum, every byte stays:
// the headers, the sections before the resources, and what moves after them (.reloc, the debug sections or the
// debug link, the COFF string table), which the loader and the debugger still find through the moved headers.
TEST_F(BrandTest, EverythingElseStaysByteForByte) {
    for (const char* image : kImages) {
        SCOPED_TRACE(image);
        const Bytes before = ReadFile(kFixture + "/" + image);
        const std::string out = dir_.Join(image);
        ASSERT_EQ(0, BrandWithSet(kFixture + "/" + image, out, "big").status);
        const Bytes after = ReadFile(out);
        PeLayout old, now;
        std::string why;
        ASSERT_TRUE(ReadPeLayout(before, &old, &why)) << why;
        ASSERT_TRUE(ReadPeLayout(after, &now, &why)) << why;

        // The linker's own checksum is the one this tool computes; the branded image's is right for its bytes.
        size_t checksum = PeChecksumOffset(old);
        EXPECT_EQ(Get32(before, checksum), PeChecksum(before, checksum));
        EXPECT_EQ(Get32(after, checksum), PeChecksum(after, checksum));

        size_t rsrc = 0;
        while (rsrc < old.sections.size() && old.sections[rsrc].name != ".rsrc")
            ++rsrc;
        ASSERT_LT(rsrc, old.sections.size());
        ASSERT_LT(rsrc + 1, old.sections.size()) << "the fixture has nothing after its resources";
        int64_t deltaRaw = static_cast<int64_t>(now.sections[rsrc].rawSize) - old.sections[rsrc].rawSize;
        int64_t deltaVa =
            static_cast<int64_t>(now.sections[rsrc + 1].virtualAddress) - old.sections[rsrc + 1].virtualAddress;
        EXPECT_GT(deltaRaw, 0);
        EXPECT_EQ(0, deltaVa % old.sectionAlignment);

        // The headers, with the fields that change put to their expected values.
        Bytes expected(before.begin(), before.begin() + old.sections[0].rawOffset);
        size_t opt = old.optionalOffset;
        Put32(expected, checksum, Get32(after, checksum));
        Put32(expected, opt + 56, static_cast<uint32_t>(Get32(before, opt + 56) + deltaVa));  // SizeOfImage
        Put32(expected, opt + 8, static_cast<uint32_t>(Get32(before, opt + 8) + deltaRaw));   // initialized data
        Put32(expected, old.directoryOffset + 8 * 2 + 4, now.sections[rsrc].virtualSize);
        Put32(expected, old.directoryOffset + 8 * 5,
              static_cast<uint32_t>(Get32(before, old.directoryOffset + 40) + deltaVa));
        Put32(expected, old.sections[rsrc].headerOffset + 8, now.sections[rsrc].virtualSize);
        Put32(expected, old.sections[rsrc].headerOffset + 16, now.sections[rsrc].rawSize);
        for (size_t i = rsrc + 1; i < old.sections.size(); ++i) {
            Put32(expected, old.sections[i].headerOffset + 12,
                  static_cast<uint32_t>(old.sections[i].virtualAddress + deltaVa));
            Put32(expected, old.sections[i].headerOffset + 20,
                  static_cast<uint32_t>(old.sections[i].rawOffset + deltaRaw));
        }
        uint32_t symbols = Get32(before, old.coffOffset + 8);
        if (symbols != 0)
            Put32(expected, old.coffOffset + 8, static_cast<uint32_t>(symbols + deltaRaw));
        EXPECT_TRUE(expected == Bytes(after.begin(), after.begin() + expected.size())) << "the headers differ";

        size_t rsrcStart = old.sections[rsrc].rawOffset;
        EXPECT_TRUE(Bytes(before.begin() + expected.size(), before.begin() + rsrcStart) ==
                    Bytes(after.begin() + expected.size(), after.begin() + rsrcStart))
            << "the sections before the resources differ";
        size_t oldEnd = rsrcStart + old.sections[rsrc].rawSize;
        size_t newEnd = rsrcStart + now.sections[rsrc].rawSize;
        ASSERT_EQ(before.size() - oldEnd, after.size() - newEnd);
        EXPECT_TRUE(Bytes(before.begin() + oldEnd, before.end()) == Bytes(after.begin() + newEnd, after.end()))
            << "what follows the resources differs";
    }
}

TEST_F(BrandTest, OsslsigncodeSignsAndVerifiesTheBrandedImage) {
    const std::string key = dir_.Join("key.pem");
    const std::string cert = dir_.Join("cert.pem");
    ToolRun made = Shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + Quote(key) + " -out " + Quote(cert) +
                         " -days 2 -subj /CN=Brand-Test-Maintainer");
    ASSERT_EQ(0, made.status) << made.err;
    for (const char* image : kImages) {
        SCOPED_TRACE(image);
        const std::string branded = dir_.Join(std::string("branded-") + image);
        const std::string signedImage = dir_.Join(std::string("signed-") + image);
        ASSERT_EQ(0, BrandWithSet(kFixture + "/" + image, branded, "big").status);
        ToolRun sign = Shell("osslsigncode sign -certs " + Quote(cert) + " -key " + Quote(key) + " -n Brand-Test -in " +
                             Quote(branded) + " -out " + Quote(signedImage));
        ASSERT_EQ(0, sign.status) << sign.err;
        ToolRun verify = Shell("osslsigncode verify -CAfile " + Quote(cert) + " " + Quote(signedImage));
        EXPECT_EQ(0, verify.status) << verify.err;

        // Signed, it is refused: its resources can no longer change.
        const std::string again = dir_.Join(std::string("again-") + image);
        ToolRun refused = Packtool(PictureArgs(signedImage, again));
        EXPECT_EQ(2, refused.status);
        EXPECT_NE(std::string::npos, refused.err.find("packtool: " + signedImage + ": it is signed")) << refused.err;
        EXPECT_FALSE(Exists(again));
    }
}

TEST_F(BrandTest, ImageWithAPackageIsRefused) {
    const std::string source = dir_.Join("source");
    mkdir(source.c_str(), 0777);
    ASSERT_TRUE(WriteBytes(source + "/winpos.txt", "# layout\r\n"));
    const std::string packed = dir_.Join("packed.exe");
    ASSERT_EQ(0, Packtool({"pack", "--append-to", kFixture + "/ours64.exe", packed, source}).status);
    const std::string out = dir_.Join("out.exe");
    ToolRun run = Packtool(PictureArgs(packed, out));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("packtool: " + packed + ": it carries a package")) << run.err;
    EXPECT_FALSE(Exists(out));
}

// Each kind of picture the window cannot use is refused, naming the file and the reason; nothing is written.
TEST_F(BrandTest, PicturesTheWindowCannotUseAreRefused) {
    const Bytes good = ReadFile(kFixture + "/big/window1.bmp");  // 300 x 200
    const Bytes hot = ReadFile(kFixture + "/big/window2.bmp");   // 320 x 210
    const Bytes small = ReadFile(kFixture + "/small/window1.bmp");
    auto patched = [&](size_t offset, uint32_t value, size_t width) {
        Bytes bytes = good;
        for (size_t i = 0; i < width; ++i)
            bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
        return bytes;
    };
    Bytes png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
    png.resize(200, 0);
    Bytes bits8 = patched(28, 8, 2);
    Bytes bits32 = patched(28, 32, 2);
    Bytes rle = patched(30, 1, 4);
    Bytes topDown = patched(22, static_cast<uint32_t>(-200), 4);
    Bytes wide = patched(18, 2049, 4);
    Bytes core = patched(14, 12, 4);
    Bytes gap = patched(10, 60, 4);
    Bytes truncated(good.begin(), good.end() - 1);
    Bytes headerOnly(good.begin(), good.begin() + 30);
    struct Case {
        const char* what;
        const Bytes* normal;
        const Bytes* hot;
        bool hotNamed;  // the message names the hot picture
        const char* reason;
    } cases[] = {
        {"png", &png, &hot, false, "not a BMP file"},
        {"8 bits", &bits8, &hot, false, "8 bits per pixel; the window loads 24-bit pictures"},
        {"32 bits", &good, &bits32, true, "32 bits per pixel"},
        {"compressed", &rle, &hot, false, "compressed (compression 1)"},
        {"top-down", &topDown, &hot, false, "top-down"},
        {"too wide", &wide, &hot, false, "2049 x 200 pixels; a skin picture is 1 to 2048 pixels each way"},
        {"core header", &core, &hot, false, "header of 12 bytes"},
        {"pixels elsewhere", &gap, &hot, false, "its pixels do not follow its header"},
        {"truncated", &truncated, &hot, false, "truncated: 300 x 200 pixels need"},
        {"header only", &headerOnly, &hot, false, "truncated: the file ends inside its header"},
        {"smaller hot", &good, &small, true, "7 x 5 pixels, smaller than the normal picture"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string normalPath = dir_.Join("normal.bmp");
        const std::string hotPath = dir_.Join("hot.bmp");
        ASSERT_TRUE(WriteFile(normalPath, *c.normal));
        ASSERT_TRUE(WriteFile(hotPath, *c.hot));
        const std::string out = dir_.Join("out.exe");
        ToolRun run = Packtool({"brand", kFixture + "/ours64.exe", out, "--normal", normalPath, "--hot", hotPath});
        EXPECT_EQ(2, run.status);
        std::string expected = "packtool: " + (c.hotNamed ? hotPath : normalPath) + ": ";
        EXPECT_EQ(0u, run.err.find(expected)) << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.reason)) << run.err;
        EXPECT_FALSE(Exists(out));
    }
}

TEST_F(BrandTest, BadOptionsAndIconsAreRefused) {
    const std::string image = kFixture + "/ours64.exe";
    const std::string out = dir_.Join("out.exe");
    const std::string notIcon = dir_.Join("not.ico");
    ASSERT_TRUE(WriteBytes(notIcon, std::string("\0\0\2\0\1\0", 6)));  // a cursor's header
    const std::string cutIcon = dir_.Join("cut.ico");
    Bytes icon = ReadFile(kFixture + "/big/app.ico");
    icon.resize(icon.size() - 10);
    ASSERT_TRUE(WriteFile(cutIcon, icon));
    struct Case {
        std::vector<std::string> extra;
        const char* message;
    } cases[] = {
        {{"--set", "InternalName=x"}, "--set InternalName: the texts that can be set are ProductName"},
        {{"--set", "ProductName"}, "--set takes NAME=VALUE"},
        {{"--set", "ProductName=\xC3\x28"}, "--set ProductName: the value is not UTF-8 text"},
        {{"--icon", notIcon}, "not an icon (.ico) file"},
        {{"--icon", cutIcon}, "truncated: image 3 lies past the end of the file"},
        {{"--cursor", kFixture + "/big/app.ico"}, "not a cursor (.cur) file"},
        {{"--icon", dir_.Join("missing.ico")}, "cannot read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = PictureArgs(image, out);
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ToolRun run = Packtool(args);
        EXPECT_EQ(2, run.status);
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << run.err;
        EXPECT_FALSE(Exists(out));
    }
    ToolRun noHot = Packtool({"brand", image, out, "--normal", kFixture + "/big/window1.bmp"});
    EXPECT_EQ(2, noHot.status);
    EXPECT_NE(std::string::npos, noHot.err.find("usage:")) << noHot.err;
    ToolRun same = Packtool(PictureArgs(out, out));
    EXPECT_EQ(2, same.status);
    EXPECT_FALSE(Exists(out));
}

// A damaged image is refused with its reason, never read out of bounds or rewritten.
TEST_F(BrandTest, DamagedOrUnmovableLayoutsAreRefused) {
    const Bytes image = ReadFile(kFixture + "/ours64.exe");
    PeLayout layout;
    std::string why;
    ASSERT_TRUE(ReadPeLayout(image, &layout, &why)) << why;
    size_t rsrc = 0, reloc = 0;
    for (size_t i = 0; i < layout.sections.size(); ++i) {
        if (layout.sections[i].name == ".rsrc")
            rsrc = i;
        if (layout.sections[i].name == ".reloc")
            reloc = i;
    }
    std::vector<ResourceLeaf> leaves;
    ASSERT_TRUE(ReadResources(image, &leaves, &why)) << why;
    Bytes out;

    // A section after the resources that the code may address (not discardable) cannot move.
    Bytes kept = image;
    kept[layout.sections[reloc].headerOffset + 39] &= ~0x02;
    EXPECT_FALSE(ReplaceResources(kept, leaves, &out, &why));
    EXPECT_NE(std::string::npos, why.find("section .reloc follows the resources")) << why;

    // Resources whose file offset lies inside the headers: rewriting them would overwrite the PE header.
    Bytes inHeaders = image;
    Put32(inHeaders, layout.sections[rsrc].headerOffset + 20, 0x10);
    EXPECT_FALSE(ReplaceResources(inHeaders, leaves, &out, &why));
    EXPECT_EQ("section .rsrc starts inside the headers", why);

    // The root directory's first entry points back at the root: a loop.
    Bytes loop = image;
    size_t root = layout.sections[rsrc].rawOffset;
    Put32(loop, root + 16 + 4, 0x80000000u);
    EXPECT_FALSE(ReadResources(loop, &leaves, &why));
    EXPECT_NE(std::string::npos, why.find("points back")) << why;

    // A data entry whose bytes lie past the section: the first leaf, reached through the first entry of each level.
    Bytes outside = image;
    auto child = [&](size_t directory) { return Get32(image, root + directory + 16 + 4) & 0x7FFFFFFFu; };
    size_t dataEntry = child(child(child(0)));
    Put32(outside, root + dataEntry, 0x7FFFFFF0u);
    EXPECT_FALSE(ReadResources(outside, &leaves, &why));
    EXPECT_NE(std::string::npos, why.find("bytes lie outside the resource section")) << why;

    // A file alignment of 2 GB would make the rewritten image that large.
    Bytes aligned = image;
    Put32(aligned, layout.optionalOffset + 36, 0x80000000u);
    EXPECT_FALSE(ReplaceResources(aligned, leaves, &out, &why));
    EXPECT_EQ("the PE alignments are not valid", why);

    // Not a program at all.
    EXPECT_FALSE(ReadPeLayout(Bytes(100, 0), &layout, &why));
    EXPECT_NE(std::string::npos, why.find("no MZ header")) << why;
}

TEST(BrandTexts, VersionNumbersAndUtf8) {
    uint32_t high = 0, low = 0;
    EXPECT_TRUE(ParseFixedVersion("65535.0.1.2", &high, &low));
    EXPECT_EQ(0xFFFF0000u, high);
    EXPECT_EQ(0x00010002u, low);
    for (const char* bad : {"1.2.3", "1.2.3.4.5", "1.2.3.65536", "1..3.4", "1.2.3.", "1.2.3.4 ", "v1.2.3.4", ""})
        EXPECT_FALSE(ParseFixedVersion(bad, &high, &low)) << bad;

    std::u16string text;
    EXPECT_TRUE(Utf8ToUtf16("A\xC3\xA9\xE6\xB1\x89\xF0\x9F\x98\x80", &text));
    EXPECT_EQ(std::u16string(u"A\u00E9\u6C49\U0001F600"), text);
    for (const char* bad : {"\xC3", "\xE6\xB1", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\x80"})
        EXPECT_FALSE(Utf8ToUtf16(bad, &text)) << bad;
}

// A string table without one of the names gets it at its end; the other strings and the fixed version stay.
TEST(BrandTexts, MissingStringIsAddedAndNonNumericVersionKeepsTheFixedOne) {
    std::vector<ResourceLeaf> leaves = ReadResFile(kFixture + "/ours.res");
    auto version = std::find_if(leaves.begin(), leaves.end(), [](const ResourceLeaf& leaf) {
        return !leaf.type.IsName() && leaf.type.number == kTypeVersion;
    });
    ASSERT_NE(leaves.end(), version);
    Bytes resource = version->data;
    std::string why;
    ASSERT_TRUE(SetVersionStrings(&resource, {{"ProductVersion", u"3.1 beta"}}, &why)) << why;
    Bytes again = resource;
    ASSERT_TRUE(SetVersionStrings(&again, {{"Comments", u"x"}}, &why)) << why;
    ASSERT_GT(again.size(), resource.size());
    EXPECT_EQ(0, std::memcmp(resource.data() + 40, again.data() + 40, 52));  // VS_FIXEDFILEINFO unchanged
    const char16_t* tail = u"Comments";
    std::u16string text;
    for (size_t i = 0; i + 1 < again.size(); i += 2)
        text.push_back(static_cast<char16_t>(again[i] | again[i + 1] << 8));
    EXPECT_NE(std::u16string::npos, text.find(tail));
    EXPECT_LT(text.find(u"ProductVersion"), text.find(tail));

    Bytes broken = version->data;
    broken[0] = 0xFF;  // the root's length past the end
    EXPECT_FALSE(SetVersionStrings(&broken, {{"ProductName", u"x"}}, &why));
    EXPECT_EQ("its version resource is damaged", why);
}

// The tree that the section writer lays out, read back: at each level names first (in UTF-16 order), then numbers
// in ascending order, whatever order the leaves came in; of two leaves with the same type, name and language the
// later is kept; every leaf keeps its code page and bytes.
TEST(ResourceTree, WrittenInTreeOrderWithTheLaterDuplicateKept) {
    auto leaf = [](ResourceId type, ResourceId name, uint16_t language, const char* bytes) {
        ResourceLeaf made;
        made.type = type;
        made.name = name;
        made.language = language;
        made.codePage = 936;
        made.data.assign(bytes, bytes + std::strlen(bytes));
        return made;
    };
    const std::vector<ResourceLeaf> given = {
        leaf(NumberedResource(kTypeBitmap), NumberedResource(7), 0x0804, "seven"),
        leaf(NamedResource("ZED"), NamedResource("B"), 0x0409, "zed b"),
        leaf(NumberedResource(kTypeBitmap), NamedResource("WINDOW2.BMP"), 0x0804, "window two"),
        leaf(NamedResource("ABC"), NumberedResource(1), 0x0804, "abc 1"),
        leaf(NumberedResource(kTypeBitmap), NamedResource("WINDOW1.BMP"), 0x0804, "old window one"),
        leaf(NumberedResource(kTypeBitmap), NamedResource("WINDOW1.BMP"), 0x0409, "window one, English"),
        leaf(NumberedResource(kTypeBitmap), NamedResource("WINDOW1.BMP"), 0x0804, "window one"),
        leaf(NumberedResource(kTypeIcon), NumberedResource(2), 0, "odd-sized icon"),
    };
    const std::vector<std::tuple<std::string, std::string, uint16_t, std::string>> expected = {
        {"ABC", "#1", 0x0804, "abc 1"},
        {"ZED", "B", 0x0409, "zed b"},
        {"#2", "WINDOW1.BMP", 0x0409, "window one, English"},
        {"#2", "WINDOW1.BMP", 0x0804, "window one"},
        {"#2", "WINDOW2.BMP", 0x0804, "window two"},
        {"#2", "#7", 0x0804, "seven"},
        {"#3", "#2", 0, "odd-sized icon"},
    };
    auto shown = [](const ResourceId& id) {
        return id.IsName() ? std::string(id.name.begin(), id.name.end()) : "#" + std::to_string(id.number);
    };

    const Bytes image = ReadFile(kFixture + "/ours64.exe");
    Bytes out;
    std::string why;
    ASSERT_TRUE(ReplaceResources(image, given, &out, &why)) << why;
    std::vector<ResourceLeaf> read;
    ASSERT_TRUE(ReadResources(out, &read, &why)) << why;
    ASSERT_EQ(expected.size(), read.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("leaf " + std::to_string(i));
        EXPECT_EQ(std::get<0>(expected[i]), shown(read[i].type));
        EXPECT_EQ(std::get<1>(expected[i]), shown(read[i].name));
        EXPECT_EQ(std::get<2>(expected[i]), read[i].language);
        EXPECT_EQ(936u, read[i].codePage);
        EXPECT_EQ(std::get<3>(expected[i]), std::string(read[i].data.begin(), read[i].data.end()));
    }
}

// A new icon group's images take the lowest numbers that no other image has; the images of the group it replaces
// go, those that another group shares stay.
TEST(ResourceTree, ReplacedIconGroupNumbersItsImagesFromTheLowestFree) {
    auto group = [](uint16_t number, std::vector<uint16_t> images) {
        ResourceLeaf leaf;
        leaf.type = NumberedResource(kTypeGroupIcon);
        leaf.name = NumberedResource(number);
        leaf.data = {0, 0, 1, 0, static_cast<unsigned char>(images.size()), 0};
        for (uint16_t image : images) {
            leaf.data.insert(leaf.data.end(), 12, 0);
            leaf.data.push_back(static_cast<unsigned char>(image));
            leaf.data.push_back(0);
        }
        return leaf;
    };
    auto icon = [](uint16_t number) {
        ResourceLeaf leaf;
        leaf.type = NumberedResource(kTypeIcon);
        leaf.name = NumberedResource(number);
        leaf.data = {static_cast<unsigned char>(number)};
        return leaf;
    };
    // Group 106 (the program's) has images 1 and 3; group 5 shares image 3 and has 2.
    std::vector<ResourceLeaf> leaves = {group(106, {1, 3}), group(5, {2, 3}), icon(1), icon(2), icon(3)};
    std::vector<IconImage> images(3);
    for (size_t i = 0; i < images.size(); ++i)
        images[i].data = {static_cast<unsigned char>(0xA0 + i)};
    ReplaceIconGroup(&leaves, false, kBrandIconGroup, images, 0x0804);

    std::vector<std::pair<uint16_t, unsigned char>> icons;  // number, first byte
    for (const ResourceLeaf& leaf : leaves) {
        if (!leaf.type.IsName() && leaf.type.number == kTypeIcon)
            icons.emplace_back(leaf.name.number, leaf.data.at(0));
    }
    std::sort(icons.begin(), icons.end());
    // 1 went with the old group and is free again; 2 and 3 belong to group 5; the new images are 1, 4 and 5.
    const std::vector<std::pair<uint16_t, unsigned char>> expected = {{1, 0xA0}, {2, 2}, {3, 3}, {4, 0xA1}, {5, 0xA2}};
    EXPECT_EQ(expected, icons);
}
