// The installer indexes the file it was started from. These tests append packages to a copy of a small probe
// program and run the copy.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "package/Extract.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestFiles_win.h"
#include "tests/common/TestPackage.h"

namespace {

std::string ProbePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1) + "selfindex_probe.exe";
}

// Runs exe with its arguments (ASCII) through the W functions, for a program in a folder named in any script, and
// waits; returns the exit code, or -1 if it did not start.
int RunWideProgram(const std::wstring& exe, const std::string& args) {
    std::wstring commandLine = L"\"" + exe + L"\" " + std::wstring(args.begin(), args.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}

// The same for a program at a GBK path.
int RunProgram(const std::string& exe, const std::string& args) {
    return RunWideProgram(WideOf(exe), args);
}

std::wstring WideAscii(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// The probe with one entry "winpos.txt" holding layout appended, moved to dir + "\" + folder + "\packed.exe".
bool PlaceProbe(const TempDir& dir, const std::wstring& folder, const std::string& layout) {
    std::string image;
    const std::string staged = dir.Join("staged.exe");
    const std::wstring target = WideAscii(dir.path()) + L"\\" + folder;
    return ReadBytes(ProbePath(), &image) &&
           WriteTestPackage(staged, {MakeRecord("winpos.txt", layout)}, CompressionLevel::kFast, image) &&
           CreateDirectoryW(target.c_str(), nullptr) &&
           MoveFileW(WideAscii(staged).c_str(), (target + L"\\packed.exe").c_str());
}

}  // namespace

// The program's path comes from the system in UTF-16: a folder named in hanzi is found under any code page, and a
// path that GBK cannot spell indexes nothing, as a file that cannot be opened, rather than the file a look-alike
// spelling names: "A" stands beside "\x00C5" (Å), which best fit would turn into "A".
TEST(SelfIndex, ProgramPathIsReadInUtf16AndNeverSpelledAsAnotherFile) {
    struct Case {
        const char* what;
        const wchar_t* folder;
        bool found;
    };
    const Case cases[] = {
        {"hanzi", L"\x6C49\x5316\x8865\x4E01", true},  // 汉化补丁: 汉 and 补 are in neither code page 932 nor 1252
        {"hangul", L"\xAC8C\xC784", false},
        {"best fit", L"\x00C5", false},
    };
    TempDir dir;
    ASSERT_TRUE(PlaceProbe(dir, L"A", "the decoy"));
    for (const Case& c : cases) {
        ASSERT_TRUE(PlaceProbe(dir, c.folder, "layout")) << c.what;
        const std::string report = dir.Join("report.txt");
        const std::wstring exe = WideAscii(dir.path()) + L"\\" + c.folder + L"\\packed.exe";
        ASSERT_EQ(0, RunWideProgram(exe, "\"" + report + "\"")) << c.what;
        std::string text;
        ASSERT_TRUE(ReadBytes(report, &text)) << c.what;
        EXPECT_EQ(c.found ? "winpos.txt\t6\t" + Md5Hex("layout", 6) + "\t1\n" : std::string(), text) << c.what;
    }
}

TEST(SelfIndex, ProgramFindsThePackageAppendedToItself) {
    TempDir dir;
    std::string image;
    ASSERT_TRUE(ReadBytes(ProbePath(), &image)) << ProbePath();
    const std::string content = TextLikeBytes(300000, 4);
    const std::string exe = dir.Join("packed.exe");
    ASSERT_TRUE(WriteTestPackage(exe,
                                 {MakeRecord("WinPos.txt", "layout"), MakeRecord("quorvan\\\xD7\xD6.png", content)},
                                 CompressionLevel::kFast, image));

    const std::string report = dir.Join("report.txt");
    ASSERT_EQ(0, RunProgram(exe, "\"" + report + "\" MISSING.TXT"));
    std::string text;
    ASSERT_TRUE(ReadBytes(report, &text));
    const std::string expected = "quorvan\\\xD7\xD6.png\t300000\t" + Md5Hex(content.data(), content.size()) +
                                 "\t1\n"
                                 "winpos.txt\t6\t" +
                                 Md5Hex("layout", 6) +
                                 "\t1\n"
                                 "message\tFind file in package error!\tMISSING.TXT\n";
    EXPECT_EQ(expected, text);
}

TEST(SelfIndex, ProgramWithoutPackageHasEmptyIndex) {
    TempDir dir;
    const std::string report = dir.Join("report.txt");
    ASSERT_EQ(0, RunProgram(ProbePath(), "\"" + report + "\" winpos.txt"));
    std::string text;
    ASSERT_TRUE(ReadBytes(report, &text));
    EXPECT_EQ("message\tFind file in package error!\twinpos.txt\n", text);
}

TEST(SelfIndex, SignedProgramFindsItsPackageBeforeTheCertificateTable) {
    TempDir dir;
    std::string image;
    ASSERT_TRUE(ReadBytes(ProbePath(), &image)) << ProbePath();
    const std::string exe = dir.Join("signed.exe");
    // Bytes after the image until the package needs padding before the table's 8-byte boundary.
    std::string bytes;
    for (size_t extra = 0; bytes.empty() || bytes.size() % 8 == 0; ++extra) {
        ASSERT_TRUE(WriteTestPackage(exe, {MakeRecord("winpos.txt", "layout")}, CompressionLevel::kFast,
                                     image + std::string(extra, 'p')));
        ASSERT_TRUE(ReadBytes(exe, &bytes));
    }
    size_t padding = 0;
    ASSERT_TRUE(AppendCertificateTable(&bytes, RandomBytes(1400, 8), &padding));
    ASSERT_TRUE(WriteBytes(exe, bytes));
    ASSERT_NE(0u, padding);

    const std::string report = dir.Join("report.txt");
    ASSERT_EQ(0, RunProgram(exe, "\"" + report + "\""));
    std::string text;
    ASSERT_TRUE(ReadBytes(report, &text));
    EXPECT_EQ("winpos.txt\t6\t" + Md5Hex("layout", 6) + "\t1\n", text);
}
