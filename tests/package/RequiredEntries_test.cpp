// The entries that "packtool verify" expects an installer's package to hold: the check on an index, and the
// warning list of the tool's command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/PackNames.h"
#include "package/Package.h"
#include "tests/common/TempDir.h"
#include "tools/packtool/RequiredEntries.h"

namespace {

void Add(PackageIndex& index, std::string name) {
    LowerAsciiDbcs(name);
    index[name].name = name;
}

// Every name the flows look up, spelled as the table spells them, and one file of the pack folder.
PackageIndex CompleteIndex() {
    PackageIndex index;
    Add(index, kLayoutEntry);
    Add(index, kLibraryEntry);
    Add(index, kConfigEntry);
    for (const CopyRow& row : kCopyTable)
        Add(index, row.entry);
    for (const CopyRow& row : kRestoreTable)
        Add(index, row.entry);
    Add(index, "quorvan\\data\\text\\japanese\\msg_000.bin");
    return index;
}

std::vector<std::string> Names(const std::vector<RequiredEntry>& entries) {
    std::vector<std::string> names;
    for (const RequiredEntry& entry : entries)
        names.push_back(entry.name);
    return names;
}

}  // namespace

TEST(RequiredEntries, CompletePackageLacksNothing) {
    EXPECT_TRUE(MissingRequiredEntries(CompleteIndex()).empty());
}

TEST(RequiredEntries, MissingOnesAreListedInTableOrderWithTheirPurpose) {
    PackageIndex index = CompleteIndex();
    index.erase("winpos.txt");
    index.erase("copy_low\\cm45_000025.png");
    index.erase("sm3config.org");
    index.erase("savepatch.qvx");

    std::vector<RequiredEntry> missing = MissingRequiredEntries(index);
    EXPECT_EQ((std::vector<std::string>{"winpos.txt", "SavePatch.qvx", "copy_low\\cm45_000025.png", "SM3Config.org"}),
              Names(missing));
    ASSERT_EQ(4u, missing.size());
    EXPECT_NE(std::string::npos,
              missing[2].purpose.find("quorvan\\data\\cmap\\japanese\\low\\cm45.pd2\\cm45_000025.png"));
    EXPECT_NE(std::string::npos, missing[3].purpose.find("SM3Config.exe"));
    EXPECT_NE(std::string::npos, missing[3].purpose.find("uninstall"));
}

TEST(RequiredEntries, EmptyPackageLacksEveryOne) {
    std::vector<RequiredEntry> missing = MissingRequiredEntries(PackageIndex());
    EXPECT_EQ(3u + 21u + 3u + 1u, missing.size());
    EXPECT_EQ(Names(RequiredEntries()), Names(missing));
}

// Only an entry below "quorvan\" is unpacked; a file named like the folder, or a folder whose name merely begins
// with it, leaves the pack folder missing.
TEST(RequiredEntries, PackFolderNeedsAnEntryBelowIt) {
    struct Case {
        const char* entry;
        bool counts;
    };
    const Case cases[] = {
        {"quorvan\\readme.txt", true}, {"quorvan\\a\\b\\c.png", true}, {"quorvan", false},
        {"quorvan.txt", false},        {"quorvanx\\a.png", false},     {"data\\quorvan\\a.png", false},
    };
    for (const Case& c : cases) {
        PackageIndex index = CompleteIndex();
        index.erase("quorvan\\data\\text\\japanese\\msg_000.bin");
        Add(index, c.entry);
        std::vector<std::string> missing = Names(MissingRequiredEntries(index));
        EXPECT_EQ(c.counts ? std::vector<std::string>{} : std::vector<std::string>{"quorvan\\"}, missing) << c.entry;
    }
}

TEST(RequiredEntries, ReportWritesNothingForACompletePackage) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(0u, ReportMissingRequiredEntries(CompleteIndex(), out));
    EXPECT_EQ(0L, std::ftell(out));
    std::fclose(out);
}

#ifdef QV_PACKTOOL
#include <sys/wait.h>

// The tool as a maintainer runs it: the warnings come after the entries' checks and leave the exit status alone.
namespace {

// The file's bytes; "" when it cannot be read.
std::string ReadAll(const std::string& path) {
    std::string text;
    ReadBytes(path, &text);
    return text;
}

int Shell(const std::string& command) {
    int raw = std::system(command.c_str());
    return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

TEST(RequiredEntries, VerifyWarnsAboutMissingEntriesAndStillPasses) {
    const std::string dir = std::string(QV_TEST_WORK_DIR) + "/verify_warns";
    ASSERT_EQ(0, Shell("rm -rf '" + dir + "' && mkdir -p '" + dir + "/src/quorvan'"));
    ASSERT_TRUE(WriteBytes(dir + "/src/winpos.txt", "# layout\r\n"));
    ASSERT_TRUE(WriteBytes(dir + "/src/quorvan/readme.txt", "pack"));
    ASSERT_TRUE(WriteBytes(dir + "/src/SavePatch.qvx", "MZ"));
    const std::string tool = QV_PACKTOOL;
    ASSERT_EQ(0, Shell(tool + " pack '" + dir + "/pkg' '" + dir + "/src'"));

    EXPECT_EQ(0, Shell(tool + " verify '" + dir + "/pkg' >'" + dir + "/out' 2>'" + dir + "/err'"));
    EXPECT_EQ("3 entries, 0 failed\n", ReadAll(dir + "/out"));
    const std::string err = ReadAll(dir + "/err");
    EXPECT_EQ(0u, err.find("packtool: warning: 25 of the entries that the installer looks up are missing:\n")) << err;
    EXPECT_NE(std::string::npos, err.find("\n  SM3Config.qvx: the localised configuration program"));
    EXPECT_NE(std::string::npos, err.find("\n  copyfont_high\\font00a.png: copied over"));
    EXPECT_EQ(std::string::npos, err.find("winpos.txt"));
    EXPECT_EQ(std::string::npos, err.find("SavePatch.qvx:"));
    EXPECT_EQ(std::string::npos, err.find("quorvan\\:"));
}

namespace {

// A target as the tool prints it: after the game folder, "\\" separators throughout.
std::string Shown(const char* target) {
    std::string path(target[0] == '/' || target[0] == '\\' ? target + 1 : target);
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// The table that "packtool names" must print, built from the installer's own names.
std::vector<std::string> ExpectedNameLines() {
    std::vector<std::string> lines = {"# entry\ttarget\trole"};
    lines.push_back(std::string(kLayoutEntry) + "\t-\tlayout");
    lines.push_back(std::string(kLibraryEntry) + "\t" + Shown(kLibraryTarget) + "\tlibrary");
    lines.push_back(std::string(kConfigEntry) + "\t" + Shown(kConfigTarget) + "\tconfig");
    for (const CopyRow& row : kCopyTable)
        lines.push_back(std::string(row.entry) + "\t" + Shown(row.target) + "\tcopy");
    for (const CopyRow& row : kRestoreTable)
        lines.push_back(std::string(row.entry) + "\t" + Shown(row.target) + "\trestore");
    lines.push_back(std::string(kPackFolder) + "\t" + kPackFolder + "\tfolder");
    return lines;
}

}  // namespace

TEST(NameTable, PrintsEveryNameOfTheInstallerWithTargetAndRole) {
    const std::string dir = std::string(QV_TEST_WORK_DIR) + "/names";
    ASSERT_EQ(0, Shell("rm -rf '" + dir + "' && mkdir -p '" + dir + "'"));
    ASSERT_EQ(0, Shell(std::string(QV_PACKTOOL) + " names >'" + dir + "/out' 2>'" + dir + "/err'"));
    EXPECT_EQ("", ReadAll(dir + "/err"));
    const std::vector<std::string> lines = Lines(ReadAll(dir + "/out"));
    EXPECT_EQ(ExpectedNameLines(), lines);

    // Anything after the command is a usage error, with nothing on stdout.
    EXPECT_EQ(2, Shell(std::string(QV_PACKTOOL) + " names extra >'" + dir + "/out2' 2>/dev/null"));
    EXPECT_EQ("", ReadAll(dir + "/out2"));
}

// The maintainer's sample manifest names every entry of the table, in its order, each once.
TEST(NameTable, SampleManifestNamesEveryEntryOfTheTable) {
    const std::string manifest = ReadAll(std::string(QV_SOURCE_DIR) + "/release/sample-manifest.txt");
    ASSERT_FALSE(manifest.empty());
    std::vector<std::string> stored;
    for (std::string line : Lines(manifest)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        stored.push_back(line.substr(0, line.find('\t')));
    }
    std::vector<std::string> expected;
    for (const std::string& line : ExpectedNameLines()) {
        if (line[0] != '#' && line.compare(line.size() - 7, 7, "\tfolder") != 0)
            expected.push_back(line.substr(0, line.find('\t')));
    }
    EXPECT_EQ(expected, stored);
}
#endif
