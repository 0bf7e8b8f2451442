// The install and uninstall flows under any system code page: every name reaches the system in UTF-16, and a folder
// that the registry names in characters GBK cannot spell is refused before anything changes.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "installer/InstallFlow_win.h"
#include "installer/InstallMark_win.h"
#include "installer/ResourceLibrary_win.h"
#include "tests/installer/InstallerFixture_win.h"
#include "tests/installer/WideFiles_win.h"

namespace {

const char kNotGbkText[] = "注册表中记录的游戏目录含有安装程序无法使用的字符(下面以?表示), 无法安装:\r\n";

// What the library was called with. The library's own work is its own suite's: here it is loaded from the folder's
// path through the product's check and freed again.
std::vector<std::string> gLibraryCalls;

bool LoadLibraryOnly(const char* libraryPath, const MemorySink& expected, HWND, char*) {
    gLibraryCalls.push_back(libraryPath);
    const ScopedLibrary library(LoadVerifiedLibrary(libraryPath, nullptr, nullptr, &expected));
    return library.get() != nullptr;
}

class InstallCodePageTest : public InstallerTest {
  protected:
    void SetUp() override {
        InstallerTest::SetUp();
        gLibraryCalls.clear();
        ChangeDependencies([](InstallerDependencies& d) { d.callResourceInstall = LoadLibraryOnly; });
    }

    // A stand-in game in a folder of dir_ named by the system's UTF-16 text; returns its path.
    std::wstring MakeWideGame(const std::wstring& name) {
        const std::wstring folder = WideOf(dir_.path()) + L"\\" + name;
        EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        for (const wchar_t* file : {L"\\Shin Sangokumusou 3.exe", L"\\SM3Config.exe", L"\\psrpc.dll"}) {
            const HANDLE handle = CreateFileW((folder + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr);
            EXPECT_NE(INVALID_HANDLE_VALUE, handle);
            CloseHandle(handle);
        }
        return folder;
    }

    // Names in the folder, as the system spells them.
    static std::vector<std::wstring> WideEntries(const std::wstring& folder) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (std::wstring(data.cFileName) != L"." && std::wstring(data.cFileName) != L"..")
                names.push_back(data.cFileName);
        } while (FindNextFileW(search, &data));
        FindClose(search);
        return names;
    }
};

// The game's setup recorded a folder whose name GBK cannot spell: one error box shows the folder with "?" for those
// characters, and nothing changes (no chooser, no mark, no file). "A" stands beside "Å", which best fit would turn
// into "A": the install must not go there either.
TEST_F(InstallCodePageTest, GameFolderThatGbkCannotSpellIsRefusedWithOneBox) {
    struct Case {
        const char* what;
        const wchar_t* folder;
        const char* shown;
    };
    const Case cases[] = {
        {"hangul", L"\xAC8C\xC784", "??"},          // 게임
        {"emoji", L"SM3 \xD83D\xDE00", "SM3 ?"},    // one character, two UTF-16 units
        {"best fit", L"\x00C5", "?"},               // Å
        {"mixed", L"\x6E38\x620F\xAC8C", "游戏?"},  // 游戏 and a hangul syllable
    };
    MakeGame(dir_.Join("A"));
    Open(StandardPack());
    for (const Case& c : cases) {
        const std::wstring folder = MakeWideGame(c.folder);
        ASSERT_TRUE(SetInstallText(kInstallInfoValue, folder)) << c.what;
        recorder_.Clear();
        gSeams.chooserCalls.clear();
        Press("install");

        const std::vector<RecordedMessage> boxes = recorder_.Messages();
        ASSERT_EQ(1u, boxes.size()) << c.what;
        ExpectBox(boxes[0], (std::string(kNotGbkText) + dir_.path() + "\\" + c.shown).c_str(), "错误",
                  kMbOk | kMbIconError, true);
        EXPECT_TRUE(gSeams.chooserCalls.empty()) << c.what;
        EXPECT_TRUE(gSeams.drives.empty()) << c.what;
        EXPECT_FALSE(Marked()) << c.what;
        EXPECT_FALSE(gInstallerState.extracting) << c.what;
        EXPECT_TRUE(Shown("install")) << c.what;
        EXPECT_EQ(3u, WideEntries(folder).size()) << c.what;
        ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);  // "A", the decoy
        EXPECT_FALSE(Exists(Game("\\quorvan"))) << c.what;
    }
}

// A game in a folder named in hanzi that code pages 932 and 1252 cannot spell installs and uninstalls through that
// name. CTest runs this case once more with the program under code page 932 (QV_EXPECT_CODE_PAGE says which).
TEST_F(InstallCodePageTest, GameInAFolderNamedInHanziInstallsAndUninstalls) {
    if (const char* codePage = std::getenv("QV_EXPECT_CODE_PAGE")) {
        ASSERT_EQ(UINT(std::atoi(codePage)), GetACP());
    }
    ASSERT_TRUE(MakeFolder(dir_.Join("汉化游戏")));
    MakeGame(dir_.Join("汉化游戏\\真三国无双3"));
    SetValue(kInstallInfoValue, game_);
    const TestPack pack = StandardPack();
    Open(pack);

    Press("install");
    ASSERT_TRUE(WaitForInstall());
    std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].text.find("安装目录: " + game_ + " (")) << boxes[0].text;
    EXPECT_EQ("安装成功结束!", boxes[1].text);
    EXPECT_EQ(game_, Mark());
    EXPECT_EQ(std::vector<std::string>{game_ + "/SavePatch.qvx"}, gLibraryCalls);
    EXPECT_EQ(pack.Bytes("SM3Config.qvx"), FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(pack.Bytes("psrpc.qvx"), FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(pack.Bytes("quorvan\\字体\\淺.txt"), FileBytes(Game("\\quorvan\\字体\\淺.txt")));
    EXPECT_EQ(pack.Bytes("copyfont_low\\font01b.png"),
              FileBytes(Game("\\quorvan\\data\\common\\japanese\\low\\font01b.png")));

    UninstallExpectingDone();
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    EXPECT_FALSE(Exists(Game("\\quorvan")));
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_FALSE(Marked());
}

}  // namespace
