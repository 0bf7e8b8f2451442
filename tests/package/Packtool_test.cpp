// The package tool driven as its users drive it: through its command line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "package/Extract.h"
#include "package/Package.h"
#include "support/Gbk.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPackage.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class PacktoolTest : public ::testing::Test {
  protected:
    ToolRun Packtool(const std::string& args) {
        const std::string out = dir_.Join("stdout.txt");
        const std::string err = dir_.Join("stderr.txt");
        std::string command = std::string(QV_PACKTOOL) + " " + args + " >" + out + " 2>" + err;
        int raw = std::system(command.c_str());
        ToolRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, "", ""};
        ReadBytes(out, &run.out);
        ReadBytes(err, &run.err);
        return run;
    }
    std::string Q(const std::string& path) { return "'" + path + "'"; }
    bool Exists(const std::string& path) {
        struct stat info;
        return stat(path.c_str(), &info) == 0;
    }
    void MakeDir(const std::string& path) { mkdir(path.c_str(), 0777); }

    TempDir dir_;
};

}  // namespace

TEST_F(PacktoolTest, FolderRoundTripWithGbkNames) {
    const std::string src = dir_.Join("src");
    MakeDir(src);
    MakeDir(src + "/quorvan");
    // The host file system holds UTF-8 names; u8 literals stay UTF-8 whatever the execution charset.
    MakeDir(src + u8"/quorvan/字体");
    ASSERT_TRUE(WriteBytes(src + "/winpos.txt", "# layout\r\n"));
    ASSERT_TRUE(WriteBytes(src + u8"/quorvan/字体/淺A.png", RandomBytes(70000, 2)));
    ASSERT_TRUE(WriteBytes(src + "/quorvan/empty.bin", ""));

    const std::string pkg = dir_.Join("out.pkg");
    ToolRun pack = Packtool("pack " + Q(pkg) + " " + Q(src));
    ASSERT_EQ(0, pack.status) << pack.err;

    ToolRun list = Packtool("list " + Q(pkg));
    ASSERT_EQ(0, list.status) << list.err;
    // Names are GBK: 字体 = D7 D6 CC E5, 淺 = 9C 5C (a trail byte equal to '\').
    EXPECT_NE(std::string::npos, list.out.find("quorvan\\\xD7\xD6\xCC\xE5\\\x9C\x5C"
                                               "a.png\t70000\t"));
    EXPECT_NE(std::string::npos, list.out.find("quorvan\\empty.bin\t0\t3\t"));
    EXPECT_EQ(0u, list.out.find("quorvan\\"));  // index order: "quorvan\..." sorts before "winpos.txt"

    EXPECT_EQ(0, Packtool("verify " + Q(pkg)).status);

    const std::string out = dir_.Join("extracted");
    ToolRun extract = Packtool("extract " + Q(pkg) + " " + Q(out));
    ASSERT_EQ(0, extract.status) << extract.err;
    std::string bytes;
    ASSERT_TRUE(ReadBytes(out + u8"/quorvan/字体/淺a.png", &bytes));
    EXPECT_EQ(RandomBytes(70000, 2), bytes);
    ASSERT_TRUE(ReadBytes(out + "/winpos.txt", &bytes));
    EXPECT_EQ("# layout\r\n", bytes);
    EXPECT_TRUE(Exists(out + "/quorvan/empty.bin"));
}

TEST_F(PacktoolTest, ManifestWithAppendedImageAndBestLevel) {
    const std::string exe = dir_.Join("setup.exe");
    ASSERT_TRUE(WriteBytes(exe, "MZ" + RandomBytes(5000, 3)));
    ASSERT_TRUE(WriteBytes(dir_.Join("font.png"), TextLikeBytes(40000, 1)));
    ASSERT_TRUE(WriteBytes(dir_.Join("first.txt"), "first"));
    ASSERT_TRUE(WriteBytes(dir_.Join("second.txt"), "second"));
    const std::string manifest = dir_.Join("files.lst");
    ASSERT_TRUE(WriteBytes(manifest,
                           "# stored name <TAB> local path\r\n"
                           "copyfont_high\\font00a.png\tfont.png\r\n"
                           "SM3Config.qvx\tfirst.txt\r\n"
                           "\r\n"
                           "sm3config.QVX\tsecond.txt\n"));
    const std::string pkg = dir_.Join("packed.exe");
    ToolRun pack = Packtool("pack --level 999 --append-to " + Q(exe) + " " + Q(pkg) + " " + Q(manifest));
    ASSERT_EQ(0, pack.status) << pack.err;

    std::string image, packed;
    ASSERT_TRUE(ReadBytes(exe, &image));
    ASSERT_TRUE(ReadBytes(pkg, &packed));
    ASSERT_GT(packed.size(), image.size() + 42);
    EXPECT_EQ(image, packed.substr(0, image.size()));
    const std::string trailer = packed.substr(packed.size() - 42);
    EXPECT_EQ(std::string("\x10\x03\x05\x20", 4), trailer.substr(0, 4));
    uint32_t directoryOffset = 0;
    std::memcpy(&directoryOffset, trailer.data() + 4, 4);
    EXPECT_EQ(image.size(), directoryOffset);
    EXPECT_EQ(Md5Hex(image.data(), image.size()), trailer.substr(8, 32));
    EXPECT_EQ(std::string(2, '\0'), trailer.substr(40));

    PackageIndex index;
    ASSERT_EQ(IndexStatus::kOk, IndexPackageFile(pkg.c_str(), index).status);
    ASSERT_EQ(2u, index.size());
    MemorySink sink;
    ASSERT_TRUE(ExtractByName(index, "SM3CONFIG.QVX", sink));
    EXPECT_EQ("second", std::string(reinterpret_cast<char*>(sink.data), sink.size));  // the later record won
    EXPECT_EQ(0, Packtool("verify " + Q(pkg)).status);
}

TEST_F(PacktoolTest, RefusesUnsafeNamesAndWritesNoOutput) {
    ASSERT_TRUE(WriteBytes(dir_.Join("data.bin"), "x"));
    const std::string longName(480, 'n');
    const char* const bad[] = {"\\absolute.txt",
                               "C:\\drive.txt",
                               "quorvan\\..\\..\\escape.txt",
                               "..",
                               "/root.txt",
                               "",
                               "quorvan\\a:stream",
                               "quorvan\\.\\a.txt",
                               "quorvan\\.. \\a.txt",
                               "quorvan\\\\a.txt",
                               "quorvan\\nul.txt",
                               "quorvan\\a.txt.",
                               "COM1"};
    for (const char* name : bad) {
        ASSERT_TRUE(WriteBytes(dir_.Join("m.lst"), std::string(name) + "\tdata.bin\n"));
        const std::string pkg = dir_.Join("refused.pkg");
        ToolRun run = Packtool("pack " + Q(pkg) + " " + Q(dir_.Join("m.lst")));
        EXPECT_EQ(2, run.status) << name;
        EXPECT_NE(std::string::npos, run.err.find("refusing")) << name;
        EXPECT_NE(std::string::npos, run.err.find(EntryNameFaultText(FindEntryNameFault(name)))) << run.err;
        EXPECT_FALSE(Exists(pkg)) << name;
    }
    ASSERT_TRUE(WriteBytes(dir_.Join("m.lst"), longName + "\tdata.bin\n"));
    ToolRun run = Packtool("pack " + Q(dir_.Join("long.pkg")) + " " + Q(dir_.Join("m.lst")));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("512"));
    EXPECT_FALSE(Exists(dir_.Join("long.pkg")));
}

TEST_F(PacktoolTest, ExtractNeverWritesOutsideItsFolder) {
    // A hostile package made without the tool's name checks.
    const std::string pkg = dir_.Join("hostile.pkg");
    ASSERT_TRUE(WriteTestPackage(pkg, {MakeRecord("..\\escaped.txt", "bad"), MakeRecord("ok\\fine.txt", "good"),
                                       MakeRecord("\\rooted.txt", "bad"), MakeRecord("C:\\drive.txt", "bad"),
                                       MakeRecord("ok\\. \\dots.txt", "bad"), MakeRecord("ok\\con.txt", "bad"),
                                       MakeRecord("ok\\end. ", "bad")}));
    const std::string out = dir_.Join("out");
    ToolRun run = Packtool("extract " + Q(pkg) + " " + Q(out));
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("..\\escaped.txt"));
    EXPECT_FALSE(Exists(dir_.Join("escaped.txt")));
    EXPECT_FALSE(Exists(out + "/../escaped.txt"));
    EXPECT_TRUE(Exists(out + "/ok/fine.txt"));
    EXPECT_NE(std::string::npos, run.err.find("ok\\. \\dots.txt"));
    EXPECT_FALSE(Exists(out + "/ok/. /dots.txt"));
    // Names that a Windows system would read as a device or write under another name: named, with the reason.
    for (const char* name : {"ok\\con.txt", "ok\\end. "}) {
        const std::string line = std::string("\"") + name + "\": " + EntryNameFaultText(FindEntryNameFault(name));
        EXPECT_NE(std::string::npos, run.err.find(line)) << run.err;
    }
    EXPECT_FALSE(Exists(out + "/ok/con.txt"));
    EXPECT_FALSE(Exists(out + "/ok/end. "));
}

TEST_F(PacktoolTest, DamagedEntryIsNamedAndStillWritten) {
    const std::string pkg = dir_.Join("damaged.pkg");
    const std::string content = TextLikeBytes(20000, 8);
    ASSERT_TRUE(WriteTestPackage(pkg, {MakeRecord("a.txt", "fine"), MakeRecord("psrpc.org", content)}));
    PackageIndex index;
    ASSERT_EQ(IndexStatus::kOk, IndexPackageFile(pkg.c_str(), index).status);
    std::string bytes;
    ASSERT_TRUE(ReadBytes(pkg, &bytes));
    bytes[size_t(index.at("psrpc.org").bodyOffset) + 10] ^= 0x33;
    ASSERT_TRUE(WriteBytes(pkg, bytes));

    ToolRun verify = Packtool("verify " + Q(pkg));
    EXPECT_EQ(1, verify.status);
    EXPECT_NE(std::string::npos, verify.err.find("psrpc.org: digest mismatch"));
    EXPECT_EQ(std::string::npos, verify.err.find("a.txt"));

    ToolRun extract = Packtool("extract " + Q(pkg) + " " + Q(dir_.Join("out")) + " PSRPC.ORG");
    EXPECT_EQ(1, extract.status);
    EXPECT_NE(std::string::npos, extract.err.find("psrpc.org: MD5 error!"));
    std::string written;
    ASSERT_TRUE(ReadBytes(dir_.Join("out") + "/psrpc.org", &written));
    EXPECT_EQ(content.size(), written.size());
    EXPECT_FALSE(Exists(dir_.Join("out") + "/a.txt"));  // only the named entry
}

TEST_F(PacktoolTest, ForgedOriginalSizeIsAFailedCheckNotAnIoError) {
    const std::string pkg = dir_.Join("forged.pkg");
    TestRecord forged = MakeRecord("forged.bin", "");
    forged.stored = true;
    forged.storedBody = std::string("\x11\0\0", 3);  // an empty stream
    forged.storedOriginalSize = 0xFF000000u;         // one high byte flipped
    ASSERT_TRUE(WriteTestPackage(pkg, {MakeRecord("a.txt", "fine"), forged}));

    ToolRun verify = Packtool("verify " + Q(pkg));
    EXPECT_EQ(1, verify.status);
    EXPECT_NE(std::string::npos, verify.err.find("forged.bin: claims more bytes than its body can hold"));

    ToolRun extract = Packtool("extract " + Q(pkg) + " " + Q(dir_.Join("out")));
    EXPECT_EQ(1, extract.status) << extract.err;
    EXPECT_NE(std::string::npos, extract.err.find("forged.bin: claims more bytes")) << extract.err;
    EXPECT_FALSE(Exists(dir_.Join("out") + "/forged.bin"));
    EXPECT_TRUE(Exists(dir_.Join("out") + "/a.txt"));
}

TEST_F(PacktoolTest, ClearMessagesForFilesThatHoldNoPackage) {
    ToolRun missing = Packtool("list " + Q(dir_.Join("missing.pkg")));
    EXPECT_EQ(2, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("cannot be opened"));

    ASSERT_TRUE(WriteBytes(dir_.Join("plain.exe"), std::string(100, 'M')));
    ToolRun plain = Packtool("verify " + Q(dir_.Join("plain.exe")));
    EXPECT_EQ(2, plain.status);
    EXPECT_NE(std::string::npos, plain.err.find("trailer magic missing"));

    ASSERT_TRUE(WriteTestPackage(dir_.Join("empty.pkg"), {}));
    ToolRun empty = Packtool("list " + Q(dir_.Join("empty.pkg")));
    EXPECT_EQ(0, empty.status);
    EXPECT_NE(std::string::npos, empty.err.find("holds no entries"));
    EXPECT_EQ(1, Packtool("verify " + Q(dir_.Join("empty.pkg"))).status);

    EXPECT_EQ(2, Packtool("frobnicate").status);
    EXPECT_EQ(2, Packtool("pack --level 5 x y").status);
}

TEST_F(PacktoolTest, SignedInstallerIsReadAndItsSignatureNamed) {
    const std::string exe = dir_.Join("image.exe");
    ASSERT_TRUE(WriteBytes(exe, MinimalPeImage(false, 1001)));
    ASSERT_TRUE(WriteBytes(dir_.Join("winpos.txt"), "# layout\r\n"));
    ASSERT_TRUE(WriteBytes(dir_.Join("m.lst"), "winpos.txt\twinpos.txt\n"));
    const std::string pkg = dir_.Join("setup.exe");
    ASSERT_EQ(0, Packtool("pack --append-to " + Q(exe) + " " + Q(pkg) + " " + Q(dir_.Join("m.lst"))).status);
    ToolRun unsignedVerify = Packtool("verify " + Q(pkg));
    EXPECT_EQ(0, unsignedVerify.status) << unsignedVerify.err;
    EXPECT_NE(std::string::npos, unsignedVerify.out.find("1 entries, 0 failed\nsignature: none\n"));
    const std::string unsignedList = Packtool("list " + Q(pkg)).out;
    // A bare package is no program: nothing to sign, nothing said about a signature.
    ASSERT_EQ(0, Packtool("pack " + Q(dir_.Join("bare.pkg")) + " " + Q(dir_.Join("m.lst"))).status);
    EXPECT_EQ("1 entries, 0 failed\n", Packtool("verify " + Q(dir_.Join("bare.pkg"))).out);

    std::string bytes;
    ASSERT_TRUE(ReadBytes(pkg, &bytes));
    size_t padding = 0;
    ASSERT_TRUE(AppendCertificateTable(&bytes, RandomBytes(1200, 6), &padding));
    ASSERT_TRUE(WriteBytes(pkg, bytes));
    ToolRun verify = Packtool("verify " + Q(pkg));
    EXPECT_EQ(0, verify.status) << verify.err;
    const size_t tableAt = bytes.size() - 1208;
    EXPECT_NE(std::string::npos, verify.out.find("1 entries, 0 failed\nsignature: present (a certificate table of "
                                                 "1208 bytes at offset " +
                                                 std::to_string(tableAt) + "; not validated here)\n"))
        << verify.out;
    ToolRun list = Packtool("list " + Q(pkg));
    EXPECT_EQ(0, list.status);
    EXPECT_EQ(unsignedList, list.out);
    ASSERT_EQ(0, Packtool("extract " + Q(pkg) + " " + Q(dir_.Join("out"))).status);
    std::string layout;
    ASSERT_TRUE(ReadBytes(dir_.Join("out") + "/winpos.txt", &layout));
    EXPECT_EQ("# layout\r\n", layout);

    // Packed after signing: the table no longer ends the file, and the reason is said.
    const std::string late = dir_.Join("late.exe");
    ASSERT_TRUE(WriteBytes(late, bytes + "appended"));
    ToolRun misplaced = Packtool("list " + Q(late));
    EXPECT_EQ(2, misplaced.status);
    EXPECT_NE(std::string::npos, misplaced.err.find("which do not end the file")) << misplaced.err;
}

TEST_F(PacktoolTest, PackRefusesAnImageThatIsAlreadySigned) {
    std::string image = MinimalPeImage(true, 300);
    ASSERT_TRUE(AppendCertificateTable(&image, RandomBytes(800, 3)));
    const std::string exe = dir_.Join("signed-image.exe");
    ASSERT_TRUE(WriteBytes(exe, image));
    ASSERT_TRUE(WriteBytes(dir_.Join("a.txt"), "a"));
    ASSERT_TRUE(WriteBytes(dir_.Join("m.lst"), "a.txt\ta.txt\n"));
    const std::string pkg = dir_.Join("setup.exe");
    ToolRun run = Packtool("pack --append-to " + Q(exe) + " " + Q(pkg) + " " + Q(dir_.Join("m.lst")));
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("already carries a signature")) << run.err;
    EXPECT_FALSE(Exists(pkg));
}
