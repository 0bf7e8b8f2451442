#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "installer/WebAddress_win.h"
#include "support/SystemText_win.h"
#include "tests/common/TempDir.h"

// What an "iejump" record starts: never a program found by its bare name, where the download folder (the folder
// the installer starts from, and normally its current folder) may hold a planted "iexplore.exe".
namespace {

struct Started {
    std::vector<std::wstring> desktop;
    std::wstring program, commandLine, folder;
    int programs = 0;
};
Started gStarted;
bool gDesktopOffered = false;

bool RecordDesktop(const std::wstring& address) {
    gStarted.desktop.push_back(address);
    return gDesktopOffered;
}

bool RecordProgram(const std::wstring& program, const std::wstring& commandLine, const std::wstring& folder) {
    ++gStarted.programs;
    gStarted.program = program;
    gStarted.commandLine = commandLine;
    gStarted.folder = folder;
    return true;
}

const BrowserWays kRecorded = {RecordDesktop, RecordProgram};

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return wchar_t(towlower(c)); });
    return text;
}

}  // namespace

TEST(OpenWebAddress, TheDesktopsShellOpensTheAddressWhereTheSystemOffersIt) {
    gStarted = Started();
    gDesktopOffered = true;
    EXPECT_TRUE(OpenWebAddress("http://www.example.com/quorvan/", kRecorded));
    EXPECT_EQ(std::vector<std::wstring>{L"http://www.example.com/quorvan/"}, gStarted.desktop);
    EXPECT_EQ(0, gStarted.programs);
}

// Without the desktop's shell: Internet Explorer by its full path in Program Files, started in the system folder
// with the address as its one argument. Never "iexplore.exe" alone.
TEST(OpenWebAddress, WithoutTheDesktopInternetExplorerStartsByItsFullPathInTheSystemFolder) {
    gStarted = Started();
    gDesktopOffered = false;
    EXPECT_TRUE(OpenWebAddress("https://bbs.example.com/forum-sm3/", kRecorded));
    ASSERT_EQ(1, gStarted.programs);
    wchar_t programFiles[MAX_PATH] = {}, system[MAX_PATH] = {};
    ASSERT_NE(0u, GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH));
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    EXPECT_EQ(Lower(std::wstring(programFiles) + L"\\Internet Explorer\\iexplore.exe"), Lower(gStarted.program));
    EXPECT_EQ(L"\"" + gStarted.program + L"\" https://bbs.example.com/forum-sm3/", gStarted.commandLine);
    EXPECT_EQ(Lower(system), Lower(gStarted.folder));
}

TEST(OpenWebAddress, AnythingButAWebAddressStartsNothing) {
    gDesktopOffered = true;
    for (const char* address : {"iexplore.exe", "file:///C:/Windows/System32/cmd.exe", "C:\\x.exe", "", "http://",
                                "http://example.com/ -nohome", "\x95"}) {
        gStarted = Started();
        EXPECT_FALSE(OpenWebAddress(address, kRecorded)) << address;
        EXPECT_TRUE(gStarted.desktop.empty()) << address;
        EXPECT_EQ(0, gStarted.programs) << address;
    }
}

namespace {

// A planted "iexplore.exe" (a program that leaves a mark beside itself) in a folder that is also the current folder,
// and one beside the test program.
class PlantedBrowser : public testing::Test {
  protected:
    void SetUp() override {
        std::string planted = std::string("Z:") + QV_PLANTED_PROGRAM;
        std::replace(planted.begin(), planted.end(), '/', '\\');
        char program[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, program, sizeof program);
        beside_ = program;
        beside_ = beside_.substr(0, beside_.find_last_of('\\'));
        ASSERT_TRUE(CopyFileA(planted.c_str(), dir_.Join("iexplore.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(planted.c_str(), (beside_ + "\\iexplore.exe").c_str(), FALSE));
        GetCurrentDirectoryA(sizeof previous_, previous_);
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(previous_);
        DeleteFileA((beside_ + "\\iexplore.exe").c_str());
        DeleteFileA((beside_ + "\\planted-program-ran.txt").c_str());
    }
    bool PlantedRan() {
        Sleep(500);  // a program that was started has written its mark by now
        return GetFileAttributesA(dir_.Join("planted-program-ran.txt").c_str()) != INVALID_FILE_ATTRIBUTES ||
               GetFileAttributesA((beside_ + "\\planted-program-ran.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    TempDir dir_;
    std::string beside_;
    char previous_[MAX_PATH] = {};
};

}  // namespace

// The fallback's start, for real: a program name that is not a full path is never completed from the current folder
// (where the planted "iexplore.exe" lies), and a full path starts that program.
TEST_F(PlantedBrowser, OnlyAFullPathIsStarted) {
    std::wstring folder, planted;
    ASSERT_TRUE(SystemFolder(&folder));
    for (const wchar_t* name : {L"iexplore.exe", L".\\iexplore.exe", L"iexplore", L"\\iexplore.exe"})
        EXPECT_FALSE(StartProgramByPath(name, std::wstring(L"\"") + name + L"\"", folder)) << name;
    EXPECT_FALSE(PlantedRan());
    ASSERT_TRUE(WideFromGbk(dir_.Join("iexplore.exe"), &planted));
    EXPECT_TRUE(StartProgramByPath(planted, L"\"" + planted + L"\"", folder));
    bool ran = false;
    for (int waited = 0; waited < 10000 && !ran; waited += 500)
        ran = PlantedRan();
    EXPECT_TRUE(ran);
}

// The desktop's shell, asked for real to run the planted program by its full path, runs it (as the player, not
// elevated): the way that the address takes works on this system. Where the system offers no desktop shell the
// call says so and the fallback is used.
TEST_F(PlantedBrowser, TheDesktopsShellRunsWhatItIsGivenByItsFullPath) {
    std::wstring planted;
    ASSERT_TRUE(WideFromGbk(dir_.Join("iexplore.exe"), &planted));
    if (!OpenThroughDesktopShell(planted))
        GTEST_SKIP() << "this system offers no desktop shell through IShellWindows";
    bool ran = false;
    for (int waited = 0; waited < 10000 && !ran; waited += 500)
        ran = PlantedRan();
    EXPECT_TRUE(ran);
}
