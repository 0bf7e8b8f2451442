#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "installer/InstallFlow_win.h"
#include "installer/ResourceLibrary_win.h"
#include "tests/installer/InstallerFixture_win.h"

// The helper library lies in the game folder for the whole unpack, where any program of the user may change it:
// the install's own call compares it with the package's entry right before loading it.
namespace {

// What a program of the user does while the pack is unpacked: it swaps the library for its own (here the
// package's library with one byte more, which would still load); then the install calls it.
bool SwapThenCall(const char* libraryPath, const MemorySink& expected, HWND status, char* statusText) {
    std::string path = libraryPath;
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    const std::string bytes = FileBytes(path);
    WriteBytes(path, bytes + "x");
    return CallResourceInstall(libraryPath, expected, status, statusText);
}

class LibraryCheckTest : public InstallerTest {};

TEST_F(LibraryCheckTest, LibrarySwappedDuringTheUnpackIsNotRunAndTheInstallSaysSo) {
    Open(StandardPack());
    // The fixture puts the real caller back.
    ChangeDependencies([](InstallerDependencies& d) { d.callResourceInstall = SwapThenCall; });
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    EXPECT_FALSE(Exists(Game("\\quorvan\\resource.lst"))) << "the swapped library ran";

    bool refused = false;
    bool doneShown = false;
    for (const RecordedMessage& box : recorder_.Messages()) {
        refused = refused || box.text.find(kLibraryChangedText) == 0;
        doneShown = doneShown || box.text == "安装成功结束!";
    }
    EXPECT_TRUE(refused);
    EXPECT_FALSE(doneShown);
    const RecordedMessage last = recorder_.Messages().back();
    EXPECT_NE(std::string::npos, last.text.find("SavePatch.qvx")) << last.text;  // the failure box names it
}

// A library that runs but cannot write its index (here the index's name is taken by a folder, as a full disk would
// leave it unwritten): the install does not end with the success text alone, and its last box names the library.
bool BlockIndexThenCall(const char* libraryPath, const MemorySink& expected, HWND status, char* statusText) {
    std::string folder = libraryPath;
    folder = folder.substr(0, folder.find_last_of("\\/"));
    CreateDirectoryA((folder + "\\quorvan\\resource.lst").c_str(), nullptr);
    return CallResourceInstall(libraryPath, expected, status, statusText);
}

TEST_F(LibraryCheckTest, LibraryThatDoesNotFinishIsNamedInTheInstallsLastBox) {
    Open(StandardPack());
    ChangeDependencies([](InstallerDependencies& d) { d.callResourceInstall = BlockIndexThenCall; });
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    bool unfinished = false;
    bool doneAlone = false;
    for (const RecordedMessage& box : recorder_.Messages()) {
        unfinished = unfinished || box.text.find(kUnfinishedText) == 0;
        doneAlone = doneAlone || box.text == "安装成功结束!";
    }
    EXPECT_TRUE(unfinished);
    EXPECT_FALSE(doneAlone);
    const RecordedMessage last = recorder_.Messages().back();
    EXPECT_NE(std::string::npos, last.text.find("资源安装库未能运行")) << last.text;
    EXPECT_NE(std::string::npos, last.text.find("SavePatch.qvx")) << last.text;
}

}  // namespace
