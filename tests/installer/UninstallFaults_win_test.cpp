#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Devavi/Win32/InstallKey.h"
#include "installer/FileHelpers.h"
#include "installer/FileWrite_win.h"
#include "tests/installer/InstallerFixture_win.h"

// Faults injected into the uninstall: a link inside the pack folder that points elsewhere, a game file that the
// running game holds open, a full disk, an unlocalised copy in the package that fails its check. Nothing outside
// the pack folder is deleted, no game file is cut short or overwritten with unchecked bytes, and an uninstall that
// could not write a game file back keeps the install mark so that it can be run again.
namespace {

const char kLocalised[] = "localised";
const char kPrecious[] = "the user's own file, somewhere else";

bool gDiskFull = false;
bool WriteUnlessFull(HANDLE file, const void* bytes, size_t size) {
    if (gDiskFull && size > 0) {
        WriteAllBytes(file, bytes, size / 2);
        return false;
    }
    return WriteAllBytes(file, bytes, size);
}

class UninstallFaultTest : public InstallerTest {
  protected:
    void MakeInstalled() {
        for (const char* file :
             {"\\quorvan\\readme.txt", "\\quorvan\\data\\common\\japanese\\high\\font00a.png", "\\SavePatch.qvx",
              "\\SM3Config.exe", "\\psrpc.dll", "\\media\\data\\etc\\japanese\\loadscreen.png"})
            ASSERT_TRUE(WriteFileMakingDirs(kLocalised, sizeof kLocalised - 1, Game(file).c_str())) << file;
        SetValue(kQuorvanInfoValue, game_);
    }

    bool Marked() {
        std::string value;
        return ReadValue(kQuorvanInfoValue, &value);
    }
};

TEST_F(UninstallFaultTest, LinkInsideThePackFolderIsNeverFollowed) {
    MakeInstalled();
    // Users move big folders to another drive and leave a link behind; here the link points out of the game.
    const std::string outside = dir_.Join("elsewhere");
    ASSERT_TRUE(WriteFileMakingDirs(kPrecious, sizeof kPrecious - 1, (outside + "\\deep\\precious.txt").c_str()));
    ASSERT_TRUE(WriteBytes(outside + "\\top.txt", kPrecious));
    const std::string link = Game("\\quorvan\\data\\moved");
    ASSERT_TRUE(
        RunUnix("/bin/ln -sfn ../../../elsewhere moved", Game("\\quorvan\\data"), [&] { return IsLinkAt(link); }));
    ASSERT_EQ(kPrecious, FileBytes(Game("\\quorvan\\data\\moved\\top.txt")));  // it leads out of the game
    Open(StandardPack());
    Press("uninstall");

    // Everything behind the link is still there, byte for byte.
    EXPECT_EQ(kPrecious, FileBytes(outside + "\\deep\\precious.txt"));
    EXPECT_EQ(kPrecious, FileBytes(outside + "\\top.txt"));
    EXPECT_FALSE(Exists(Game("\\quorvan\\readme.txt")));
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_FALSE(Marked());
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    if (Exists(Game("\\quorvan\\data\\moved"))) {
        // Wine cannot remove a link of the machine it runs on; Windows removes a junction as a link.
        ExpectFailureBox(boxes[1], "卸载结束, 但有 1 项未能完成:", {"无法删除: quorvan\\data\\moved"});
    } else {
        EXPECT_EQ("卸载完成!", boxes[1].text);
    }
}

TEST_F(UninstallFaultTest, GameFileHeldOpenKeepsTheMarkAndASecondRunFinishes) {
    MakeInstalled();
    Open(StandardPack());
    HANDLE game = CreateFileA(Game("\\psrpc.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, game);
    Press("uninstall");
    CloseHandle(game);

    std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    const std::string log = ExpectFailureBox(boxes[1], "卸载结束, 但有 1 项未能完成:", {"无法写入: psrpc.dll"});
    EXPECT_NE(std::string::npos, boxes[1].text.find("汉化包仍记为已安装.\r\n请关闭游戏后再次卸载.")) << boxes[1].text;
    EXPECT_EQ(Game("\\quorvan\\uninstall-errors.txt"), log);
    EXPECT_EQ(kLocalised, FileBytes(Game("\\psrpc.dll")));  // whole, not cut short
    EXPECT_EQ(kOriginalConfig, FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(kOriginalLoadScreen, FileBytes(Game("\\media\\data\\etc\\japanese\\loadscreen.png")));
    EXPECT_FALSE(Exists(Game("\\quorvan\\readme.txt")));
    EXPECT_TRUE(Marked());
    EXPECT_TRUE(Shown("uninstall"));
    EXPECT_FALSE(Shown("install"));

    // The game is closed now: the second run writes the file back, takes the log with the pack folder, and ends.
    recorder_.Clear();
    Press("uninstall");
    boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("卸载完成!", boxes[1].text);
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_FALSE(Exists(Game("\\quorvan")));
    EXPECT_FALSE(Marked());
    EXPECT_TRUE(Shown("install"));
}

TEST_F(UninstallFaultTest, FullDiskLeavesTheLocalisedFilesWholeAndKeepsTheMark) {
    MakeInstalled();
    Open(StandardPack());
    gFileWriter = WriteUnlessFull;
    gDiskFull = true;
    Press("uninstall");

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[1].text.find("卸载结束, 但有 3 项未能完成:\r\n")) << boxes[1].text;
    EXPECT_NE(std::string::npos, boxes[1].text.find("\r\n完整列表未能写入: ")) << boxes[1].text;
    for (const char* file : {"\\SM3Config.exe", "\\psrpc.dll", "\\media\\data\\etc\\japanese\\loadscreen.png"})
        EXPECT_EQ(kLocalised, FileBytes(Game(file))) << file;
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_TRUE(Marked());
}

TEST_F(UninstallFaultTest, UnlocalisedCopyThatFailsItsCheckIsNotWrittenBack) {
    MakeInstalled();
    TestPack pack = StandardPack();
    for (TestRecord& record : pack.records) {
        if (record.recordSpec.name == "psrpc.org")
            record.recordSpec.upperCaseDigest = true;
    }
    Open(pack);
    Press("uninstall");

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(3u, boxes.size());
    EXPECT_EQ("MD5 error!", boxes[1].caption);
    ExpectFailureBox(boxes[2], "卸载结束, 但有 1 项未能完成:", {"校验失败, 原文件未改动: psrpc.dll"});
    // Another run would read the same copy: the mark goes, the game keeps the working localised library.
    EXPECT_EQ(kLocalised, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(kOriginalConfig, FileBytes(Game("\\SM3Config.exe")));
    EXPECT_FALSE(Marked());
}

}  // namespace
