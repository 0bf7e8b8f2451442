#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "installer/Dependencies_win.h"
#include "mainwindow/SkinLayout_win.h"
#include "package/PackNames.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestFiles_win.h"
#include "tests/common/TestPackage.h"

// The install and uninstall flows on a real main window of this process, with a test package indexed into
// gPackageIndex, a stand-in game folder, the real install key of the registry (saved before and put back after
// each test), and the two seams answered: the free space of the game's drive and the file chooser.

inline constexpr char kGameExecutableName[] = "Shin Sangokumusou 3.exe";
extern const char kStandardLayout[];  // status label, install, uninstall, setting, close, a second label

// The package's entries, as a test changes them before packing.
struct TestPack {
    std::vector<TestRecord> records;
    void Remove(const std::string& name);
    const std::string& Bytes(const std::string& name) const;
};

// Damages the named entry of the pack: its digest no longer matches its body (which still decompresses); or its
// stored body is no LZO stream at all, its header promising originalSize bytes (0: the entry's own size), which
// may be more than a stream of its length can give.
void BreakDigest(TestPack& pack, const std::string& name);
void BreakBody(TestPack& pack, const std::string& name, uint32_t originalSize = 0);

// Everything the flows take from the package: layout, pack folder, the 21 copy-table rows, the configuration
// program, the build's own SavePatch.qvx and the game's three unlocalised files.
TestPack StandardPack(const char* layout = kStandardLayout);

// The game's own files as the game's setup left them (and as the package's unlocalised copies hold them).
inline constexpr char kOriginalConfig[] = "the game's own configuration program";
inline constexpr char kOriginalLibrary[] = "the game's own psrpc library";
inline constexpr char kOriginalLoadScreen[] = "the game's own loading screen";

// What the free-space and chooser seams answer during a test, and what they were asked.
struct SeamAnswers {
    uint64_t freeBytes = 0;
    bool freeSpaceKnown = true;
    std::vector<std::string> drives;
    bool chooserAnswers = false;
    std::string chosenPath;
    struct ChooserCall {
        HWND owner;
        std::string start;
        std::string filter;  // the pairs joined with "|"
    };
    std::vector<ChooserCall> chooserCalls;
};
extern SeamAnswers gSeams;

// Changes the installer's dependencies for the rest of the test; TearDown hands the product's back.
template <typename Change>
void ChangeDependencies(Change change) {
    InstallerDependencies dependencies = Dependencies();
    change(dependencies);
    SetInstallerDependencies(dependencies);
}

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Packs and indexes the pack, then shows the main window with the pack's layout.
    void Open(const TestPack& pack);
    HWND Main() const;
    LayoutRecord& Control(const char* command, const char* firstArgument = nullptr);
    bool Shown(const char* command);
    void Press(const char* command);

    // Pumps this thread's messages until the worker has handed back and FinishInstall has run.
    bool WaitForInstall();

    // Presses "uninstall" with the recorder cleared; the run shows its two boxes and ends with "卸载完成!".
    void UninstallExpectingDone();

    // The stand-in game: the executable and the three files the pack replaces.
    void MakeGame(const std::string& folder);
    std::string Game(const std::string& relative) const { return game_ + relative; }

    // The bytes of the game's three files that the pack replaces: the configuration program, the library and the
    // loading screen.
    void ExpectGameFiles(const char* config, const char* library, const char* loadScreen);

    // The installation's mark: its value, or "<none>"; whether there is one.
    std::string Mark();
    bool Marked();

    // The install key's values.
    void SetValue(const char* name, const std::string& value);
    bool ReadValue(const char* name, std::string* value);
    void DeleteValue(const char* name);

    TempDir dir_;
    std::string game_;  // dir_ + "\game"
    MessageRecorder recorder_;
};

// The last box of a run that had failures: caption "提示", warning icon, owned by the main window; its first line
// is heading, its next lines hold each of items ("<kind>: <name>"), and its last line names the log, which holds
// every item too. Returns the log's path.
std::string ExpectFailureBox(const RecordedMessage& box,
                             const std::string& heading,
                             const std::vector<std::string>& items);

// One box: its text, caption and style, and whether it has an owner.
void ExpectBox(const RecordedMessage& box, const char* text, const char* caption, unsigned style, bool owned);

// A command pressed as the main window gets it from its control (the first control of that command), with or
// without the fixture.
void PressCommand(const char* command);

// Who may do what with the install key: everyone gets exactly the given rights.
bool SetInstallKeyAccess(DWORD access);

void RemoveTree(const std::string& folder);  // with everything in it, GBK names included; links are not entered

// RunOnHost (tests/common/HostLinks_win.h) for a command line in GBK, such as the folder's names: runs a program of
// the machine Wine runs on ("/bin/ln -s ../x link") in folder, and waits (at most 30 s) until done() says that it
// has done its work. Wine shows the symbolic links that such programs make as reparse points, as Windows shows
// junctions.
bool RunUnix(const std::string& commandLine, const std::string& folder, const std::function<bool()>& done);
bool IsLinkAt(const std::string& path);
void RemoveLink(const std::string& path);  // the link alone, never what it points at
