#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "installer/CommandDispatch_win.h"
#include "installer/FileHelpers.h"
#include "installer/InstallMark_win.h"
#include "tests/installer/InstallerFixture_win.h"
#include "tests/installer/WideFiles_win.h"

// Links planted in the game folder before the installer acts, by a program of the player's session: symbolic
// links of the machine Wine runs on (which Wine follows whatever it is asked) and hard links. Whatever the install
// or the uninstall meets, nothing outside the game folder changes, the player is told what was refused, and the game
// folder is left installed with those entries named, or not installed at all.
namespace {

const char kPrecious[] = "the player's own file, outside the game";

// Every file and folder below folder (links entered, as a reader of the outside folder sees it), with the bytes of
// each file.
std::map<std::string, std::string> Listing(const std::string& folder) {
    std::map<std::string, std::string> listing;
    std::function<void(const std::string&)> walk = [&](const std::string& relative) {
        const std::string path = relative.empty() ? folder : folder + "\\" + relative;
        for (const std::string& name : FolderEntries(path)) {
            const std::string below = relative.empty() ? name : relative + "\\" + name;
            if (AttributesOf(folder + "\\" + below) & FILE_ATTRIBUTE_DIRECTORY) {
                listing[below] = "<folder>";
                walk(below);
            } else {
                listing[below] = FileBytes(folder + "\\" + below);
            }
        }
    };
    walk("");
    return listing;
}

// "../" for each folder of relative: from the folder of a link at relative back up to the folder it is relative to.
std::string UpFrom(const std::string& relative) {
    std::string up;
    for (char c : relative) {
        if (c == '\\')
            up += "../";
    }
    return up;
}

// The plants of the case tables below are called with the fixture.
class InstallLinksTest : public InstallerTest {
  public:
    using InstallerTest::Game;

    void SetUp() override {
        InstallerTest::SetUp();
        outside_ = dir_.Join("outside");
        for (const char* folder : {"", "\\deep", "\\japanese"})
            ASSERT_TRUE(MakeFolder(outside_ + folder));
        for (const char* file : {"\\install-errors.txt", "\\readme.txt", "\\deep\\precious.bin", "\\cm01_000025.png",
                                 "\\uninstall-errors.txt", "\\SM3Config.exe"})
            ASSERT_TRUE(WriteFileBytes(outside_ + file, kPrecious)) << file;
        ASSERT_TRUE(WriteFileBytes(outside_ + "\\psrpc.dll", kOriginalLibrary));
        ASSERT_TRUE(WriteFileBytes(outside_ + "\\japanese\\loadscreen.png", kOriginalLoadScreen));
    }

    // A symbolic link at link (relative to the game folder) to target (relative to the test's folder).
    void PlantLink(const std::string& link, const std::string& target) {
        const std::string path = Game("\\" + link);
        const size_t cut = path.find_last_of('\\');
        ASSERT_TRUE(RunUnix("/bin/ln -sfn " + UpFrom("game\\" + link) + target + " " + path.substr(cut + 1),
                            path.substr(0, cut), [&] { return Exists(path); }))
            << link;
    }

    // A second name at link (relative to the game folder) for the file target (relative to the test's folder).
    void PlantHardLink(const std::string& link, const std::string& target) {
        DeleteFileW(WideOf(Game("\\" + link)).c_str());
        ASSERT_TRUE(CreateHardLinkW(WideOf(Game("\\" + link)).c_str(), WideOf(dir_.Join(target)).c_str(), nullptr))
            << link;
    }

    void MakeFolders(const std::string& relative) {
        std::string path = game_;
        for (const std::string& name : SplitPathComponents(relative))
            MakeFolder(path += "\\" + name);
    }

    std::string outside_;
};

// One link planted before the install: where, and what the player is told.
struct PlantedCase {
    const char* what;
    std::function<void(InstallLinksTest&)> plant;
    // The install ends before any change with one error box of this text; or, when empty, the install completes
    // and its last box names the failures refused.
    const char* refusedBeforeStart;
    std::vector<std::string> refused;
    bool logRefused = false;  // the log's own place is refused: the box says that the list was not written
};

void PrintTo(const PlantedCase& planted, std::ostream* out) {
    *out << planted.what;
}

class InstallWithPlantedLinks : public InstallLinksTest, public testing::WithParamInterface<PlantedCase> {};

TEST_P(InstallWithPlantedLinks, NothingOutsideChangesAndThePlayerIsTold) {
    const PlantedCase& planted = GetParam();
    planted.plant(*this);
    if (HasFatalFailure())
        return;
    const std::map<std::string, std::string> before = Listing(outside_);
    Open(StandardPack());
    Press("install");
    ASSERT_TRUE(WaitForInstall());

    EXPECT_EQ(before, Listing(outside_));
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    // A link left in the pack folder is met again by the helper library's walk, which refuses to index it: its own
    // box comes before the last one, and the last one names the library too.
    std::vector<std::string> refused = planted.refused;
    bool libraryMeetsLink = planted.logRefused;
    for (const std::string& item : planted.refused)
        libraryMeetsLink = libraryMeetsLink || item.find(": quorvan\\") != std::string::npos;
    ASSERT_EQ(libraryMeetsLink ? 3u : 2u, boxes.size());
    if (libraryMeetsLink) {
        EXPECT_EQ(0u, boxes[1].text.find("资源安装库没有完成资源索引:")) << boxes[1].text;
        EXPECT_NE(std::string::npos, boxes[1].text.find("链接")) << boxes[1].text;
        refused.push_back("资源安装库未能运行: SavePatch.qvx");
    }
    const RecordedMessage& last = boxes.back();
    if (planted.refusedBeforeStart) {
        ExpectBox(boxes[1], planted.refusedBeforeStart, "错误", kMbOk | kMbIconError, true);
        EXPECT_FALSE(Marked());
        ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
        EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
        EXPECT_TRUE(Shown("install"));
        return;
    }
    const std::string heading = "安装结束, 但有 " + std::to_string(refused.size()) + " 项未能完成:";
    if (planted.logRefused) {
        EXPECT_EQ(0u, last.text.find(heading + "\r\n")) << last.text;
        for (const std::string& item : refused)
            EXPECT_NE(std::string::npos, last.text.find("    " + item + "\r\n")) << item << " in " << last.text;
        const std::string logLine = "完整列表未能写入: " + Game("\\quorvan\\install-errors.txt");
        EXPECT_EQ(last.text.size() - logLine.size(), last.text.rfind(logLine)) << last.text;
    } else {
        ExpectFailureBox(last, heading, refused);
    }
    EXPECT_EQ(game_, Mark());
    EXPECT_EQ(StandardPack().Bytes("SM3Config.qvx"), FileBytes(Game("\\SM3Config.exe")));
    EXPECT_TRUE(Shown("uninstall"));

    // The uninstall takes the pack away again around what it refuses; the outside stays as it was.
    recorder_.Clear();
    Press("uninstall");
    EXPECT_EQ(before, Listing(outside_));
    EXPECT_EQ(2u, recorder_.Messages().size());
}

const char kPackFolderRefused[] = "安装已取消, 游戏文件没有改动:\r\n    是链接, 未写入: quorvan";

INSTANTIATE_TEST_SUITE_P(
    Links,
    InstallWithPlantedLinks,
    testing::Values(PlantedCase{"PackFolderLinkedOutside",
                                [](InstallLinksTest& t) { t.PlantLink("quorvan", "outside"); },
                                kPackFolderRefused,
                                {}},
                    PlantedCase{"PackSubfolderLinkedOutside",
                                [](InstallLinksTest& t) {
                                    t.MakeFolders("quorvan");
                                    t.PlantLink("quorvan\\data", "outside");
                                },
                                nullptr,
                                {"是链接, 未写入: quorvan\\data"}},
                    PlantedCase{"PackFilesASymbolicAndAHardLink",
                                [](InstallLinksTest& t) {
                                    t.MakeFolders("quorvan");
                                    t.PlantLink("quorvan\\readme.txt", "outside/readme.txt");
                                    t.PlantHardLink("quorvan\\empty.dat", "outside\\deep\\precious.bin");
                                },
                                nullptr,
                                {"是链接, 未写入: quorvan\\empty.dat", "是链接, 未写入: quorvan\\readme.txt"}},
                    PlantedCase{"CopyTableTargetLinked",
                                [](InstallLinksTest& t) {
                                    t.MakeFolders("quorvan\\data\\cmap\\japanese\\high\\cm01.pd2");
                                    t.PlantLink("quorvan\\data\\cmap\\japanese\\high\\cm01.pd2\\cm01_000025.png",
                                                "outside/cm01_000025.png");
                                },
                                nullptr,
                                {"是链接, 未写入: quorvan\\data\\cmap\\japanese\\high\\cm01.pd2\\cm01_000025.png"}},
                    PlantedCase{"GameFileAHardLink",
                                [](InstallLinksTest& t) { t.PlantHardLink("psrpc.dll", "outside\\psrpc.dll"); },
                                nullptr,
                                {"是链接, 未写入: psrpc.dll"}},
                    PlantedCase{"GameSubfolderLinked",
                                [](InstallLinksTest& t) {
                                    RemoveTree(t.Game("\\media\\data\\etc\\japanese"));
                                    t.PlantLink("media\\data\\etc\\japanese", "outside/japanese");
                                },
                                nullptr,
                                {"是链接, 未写入: media\\data\\etc\\japanese"}},
                    PlantedCase{"OldLogLinkedOutside",
                                [](InstallLinksTest& t) {
                                    t.MakeFolders("quorvan");
                                    t.PlantLink("quorvan\\install-errors.txt", "outside/install-errors.txt");
                                },
                                nullptr,
                                {},  // the library's box names the link; the last box, the library and the log
                                true}),
    [](const testing::TestParamInfo<PlantedCase>& info) { return std::string(info.param.what); });

// What the uninstall meets: a game file swapped for a link, our own leftovers of a killed write, and a leftover
// name that is a second name of the player's file.
struct UninstallCase {
    const char* what;
    std::function<void(InstallLinksTest&)> plant;
    std::vector<std::string> refused;  // empty: the uninstall completes ("卸载完成!")
    std::vector<std::string> removed;  // paths below the game folder that are gone afterwards
};

void PrintTo(const UninstallCase& planted, std::ostream* out) {
    *out << planted.what;
}

class UninstallWithPlantedLinks : public InstallLinksTest, public testing::WithParamInterface<UninstallCase> {};

TEST_P(UninstallWithPlantedLinks, NothingOutsideChangesAndOurLeftoversGo) {
    const UninstallCase& planted = GetParam();
    Open(StandardPack());
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    ASSERT_EQ(game_, Mark());
    planted.plant(*this);
    if (HasFatalFailure())
        return;
    const std::map<std::string, std::string> before = Listing(outside_);
    recorder_.Clear();
    Press("uninstall");

    EXPECT_EQ(before, Listing(outside_));
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    if (planted.refused.empty())
        EXPECT_EQ("卸载完成!", boxes[1].text);
    else
        ExpectFailureBox(boxes[1],
                         "卸载结束, 但有 " + std::to_string(planted.refused.size()) + " 项未能完成:", planted.refused);
    for (const std::string& path : planted.removed)
        EXPECT_FALSE(Exists(Game("\\" + path))) << path;
}

INSTANTIATE_TEST_SUITE_P(
    Links,
    UninstallWithPlantedLinks,
    testing::Values(UninstallCase{"LeftoversOfAKilledWrite",
                                  [](InstallLinksTest& t) {
                                      for (const char* leftover :
                                           {"\\qv1234.tmp", "\\media\\data\\etc\\japanese\\qvBEEF.tmp",
                                            "\\quorvan\\qv1234.tmp", "\\quorvan\\data\\qv0a1b2c3d.tmp"})
                                          ASSERT_TRUE(WriteFileBytes(t.Game(leftover), "half a file")) << leftover;
                                  },
                                  {},
                                  {"qv1234.tmp", "media\\data\\etc\\japanese\\qvBEEF.tmp", "quorvan"}},
                    UninstallCase{
                        "LeftoverNameOfThePlayersFile",
                        [](InstallLinksTest& t) { t.PlantHardLink("qv5678.tmp", "outside\\deep\\precious.bin"); },
                        {"指向别处的链接, 没有跟随也没有删除: qv5678.tmp"},
                        {"SavePatch.qvx", "quorvan\\readme.txt"}},
                    UninstallCase{"GameFileALinkOutside",
                                  [](InstallLinksTest& t) {
                                      DeleteFileW(WideOf(t.Game("\\SM3Config.exe")).c_str());
                                      t.PlantLink("SM3Config.exe", "outside/SM3Config.exe");
                                  },
                                  {"是链接, 未写入: SM3Config.exe"},
                                  {}}),
    [](const testing::TestParamInfo<UninstallCase>& info) { return std::string(info.param.what); });

// The helpers that take a whole path hold its drive and check every folder from there: a link on the way or in the
// file's place is refused, whichever of them is called, and what it leads to stays as it was.
TEST_F(InstallLinksTest, PathHelpersRefuseLinksOnTheWayAndInTheFilesPlace) {
    MakeFolders("quorvan");
    PlantLink("quorvan\\data", "outside");
    PlantLink("quorvan\\readme.txt", "outside/readme.txt");
    PlantHardLink("quorvan\\empty.dat", "outside\\deep\\precious.bin");
    const std::map<std::string, std::string> before = Listing(outside_);
    for (const char* relative :
         {"quorvan\\data\\readme.txt", "quorvan\\data\\new\\x.bin", "quorvan\\readme.txt", "quorvan\\empty.dat"}) {
        const std::string path = Game(std::string("\\") + relative);
        EXPECT_FALSE(WriteFileMakingDirs("x", 1, path.c_str())) << relative;
        FileFault fault = FileFault::kNone;
        EXPECT_FALSE(ReplaceFileWith("x", 1, path.c_str(), &fault)) << relative;
        EXPECT_EQ(FileFault::kLink, fault) << relative;
    }
    EXPECT_FALSE(MakeDirsForPath(Game("\\quorvan\\data\\new\\x.bin").c_str()));
    EXPECT_EQ(before, Listing(outside_));

    // Beside the links the same calls write.
    EXPECT_TRUE(MakeDirsForPath(Game("\\quorvan\\other\\x.bin").c_str()));
    EXPECT_TRUE(WriteFileMakingDirs("x", 1, Game("\\quorvan\\other\\x.bin").c_str()));
    EXPECT_TRUE(ReplaceFileWith("y", 1, Game("\\quorvan\\other\\x.bin").c_str()));
    EXPECT_EQ("y", FileBytes(Game("\\quorvan\\other\\x.bin")));
}

}  // namespace
