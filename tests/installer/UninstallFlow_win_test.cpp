#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/CommandDispatch_win.h"
#include "installer/FileHelpers.h"
#include "installer/InstallMark_win.h"
#include "mainwindow/MainWindow_win.h"
#include "tests/installer/InstallerFixture_win.h"

namespace {

const char kLocalised[] = "localised";

class UninstallFlowTest : public InstallerTest {
  protected:
    // The game as an installation leaves it: the pack folder (with a font the settings dialog made), the
    // library, the three replaced game files and the mark.
    void MakeInstalled() {
        for (const char* file : {"\\quorvan\\readme.txt", "\\quorvan\\data\\common\\japanese\\high\\font00a.png",
                                 "\\quorvan\\bg\\high\\user_font01b.tga", "\\SavePatch.qvx", "\\SM3Config.exe",
                                 "\\psrpc.dll", "\\media\\data\\etc\\japanese\\loadscreen.png"})
            ASSERT_TRUE(WriteFileMakingDirs(kLocalised, sizeof kLocalised - 1, Game(file).c_str())) << file;
        SetValue(kQuorvanInfoValue, game_);
    }
};

TEST_F(UninstallFlowTest, CancelChangesNothing) {
    MakeInstalled();
    Open(StandardPack());
    ASSERT_TRUE(Shown("uninstall"));
    recorder_.Answer(kIdCancel);
    Press("uninstall");
    ASSERT_EQ(1u, recorder_.Messages().size());
    EXPECT_EQ("卸载确认", recorder_.Messages()[0].caption);
    EXPECT_TRUE(Exists(Game("\\quorvan\\readme.txt")));
    EXPECT_TRUE(Exists(Game("\\SavePatch.qvx")));
    ExpectGameFiles(kLocalised, kLocalised, kLocalised);
    EXPECT_TRUE(Marked());
    EXPECT_TRUE(Shown("uninstall"));
}

TEST_F(UninstallFlowTest, WithoutTheMarkOnlyTheUserIsTold) {
    MakeInstalled();
    DeleteValue(kQuorvanInfoValue);
    Open(StandardPack());
    Press("uninstall");
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectBox(boxes[1], "没有安装真.三国无双3汉化包!", "取消卸载", kMbOk | kMbIconError, false);
    EXPECT_TRUE(Exists(Game("\\quorvan\\readme.txt")));
    EXPECT_TRUE(Exists(Game("\\SavePatch.qvx")));
    ExpectGameFiles(kLocalised, kLocalised, kLocalised);
}

TEST_F(UninstallFlowTest, WhatIsAlreadyGoneIsPassedOver) {
    MakeInstalled();
    std::vector<std::string> files;
    ListFilesRecursive(Game("\\quorvan").c_str(), files);
    for (const std::string& file : files)
        DeleteFileA(file.c_str());
    std::vector<std::string> folders;
    ListDirsRecursive(Game("\\quorvan").c_str(), folders);
    folders.push_back(Game("\\quorvan"));
    for (const std::string& folder : folders)
        RemoveDirectoryA(folder.c_str());
    ASSERT_FALSE(Exists(Game("\\quorvan")));
    // A file under the pack folder's name is not the pack's.
    ASSERT_TRUE(WriteBytes(Game("\\quorvan"), "the user's own"));
    // A game file that holds its original bytes already is not written again.
    ASSERT_TRUE(WriteBytes(Game("\\psrpc.dll"), kOriginalLibrary));
    Open(StandardPack());

    Press("uninstall");
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("卸载完成!", boxes[1].text);
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_EQ("the user's own", FileBytes(Game("\\quorvan")));
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    EXPECT_FALSE(Marked());
    EXPECT_TRUE(Shown("install"));
    EXPECT_FALSE(Shown("uninstall"));
}

// A package without one of the originals, or with one that fails its check, is a damaged download: the player is
// told before anything changes, and keeps the working pack and the uninstall control.
TEST_F(UninstallFlowTest, MissingOrDamagedOriginalChangesNothing) {
    for (bool missing : {true, false}) {
        SCOPED_TRACE(missing ? "psrpc.org missing" : "SM3Config.org damaged");
        MakeInstalled();
        TestPack pack = StandardPack();
        if (missing)
            pack.Remove("psrpc.org");
        else
            BreakDigest(pack, "SM3Config.org");
        Open(pack);
        recorder_.Clear();
        Press("uninstall");
        const std::vector<RecordedMessage> boxes = recorder_.Messages();
        ASSERT_EQ(3u, boxes.size());
        EXPECT_EQ(missing ? "Find file in package error!" : "MD5 error!", boxes[1].caption);
        EXPECT_EQ(std::string("安装程序已损坏: 以下游戏原文件的备份缺失或没有通过校验:\r\n    ") +
                      (missing ? "psrpc.org" : "SM3Config.org") +
                      "\r\n\r\n游戏文件夹没有任何改动. 请重新下载安装程序后再卸载.",
                  boxes[2].text);
        EXPECT_EQ("取消卸载", boxes[2].caption);
        EXPECT_EQ(unsigned(kMbOk | kMbIconError), boxes[2].style);
        EXPECT_TRUE(boxes[2].hasOwner);
        EXPECT_TRUE(Exists(Game("\\quorvan\\readme.txt")));
        EXPECT_TRUE(Exists(Game("\\quorvan\\bg\\high\\user_font01b.tga")));
        EXPECT_TRUE(Exists(Game("\\SavePatch.qvx")));
        ExpectGameFiles(kLocalised, kLocalised, kLocalised);
        EXPECT_TRUE(Marked());
        EXPECT_TRUE(Shown("uninstall"));
        DestroyMainWindow();
    }
}

// A folder that the uninstall does not enter stays, and is named: "卸载完成!" never while something of the pack is
// left. Folders that stay only because of what is named inside them are not named a second time.
TEST_F(UninstallFlowTest, DotFolderAndAFileThatCannotBeDeletedAreNamed) {
    MakeInstalled();
    ASSERT_TRUE(WriteFileMakingDirs("x", 1, Game("\\quorvan\\.svn\\entries").c_str()));
    ASSERT_TRUE(WriteFileMakingDirs("x", 1, Game("\\quorvan\\locked\\in use.dat").c_str()));
    ASSERT_TRUE(SetFileAttributesA(Game("\\quorvan\\locked\\in use.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    Open(StandardPack());
    Press("uninstall");
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectFailureBox(
        boxes[1], "卸载结束, 但有 2 项未能完成:",
        {"文件夹未能进入, 连同其内容留在原处: quorvan\\.svn", "无法删除 (文件只读): quorvan\\locked\\in use.dat"});
    EXPECT_TRUE(Exists(Game("\\quorvan\\.svn\\entries")));
    EXPECT_TRUE(Exists(Game("\\quorvan\\locked\\in use.dat")));
    EXPECT_FALSE(Exists(Game("\\quorvan\\readme.txt")));
    EXPECT_FALSE(Exists(Game("\\quorvan\\bg")));  // the font the settings dialog made went with its folder
    EXPECT_FALSE(Exists(Game("\\quorvan\\data")));
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    EXPECT_FALSE(Marked());
}

TEST_F(UninstallFlowTest, KeyThatCannotBeOpenedForWritingStopsBeforeTheMarkAndASecondRunFinishes) {
    MakeInstalled();
    Open(StandardPack());
    ASSERT_TRUE(SetInstallKeyAccess(KEY_READ | READ_CONTROL | WRITE_DAC));
    Press("uninstall");
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectBox(boxes[1], "RegOpenKeyEx Failed!", "取消卸载", kMbOk | kMbIconError, false);
    EXPECT_FALSE(Exists(Game("\\quorvan")));
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    EXPECT_TRUE(Marked());
    EXPECT_TRUE(Shown("uninstall"));

    // Once the key can be written again, a second run restores the game files again and removes the mark.
    ASSERT_TRUE(SetInstallKeyAccess(KEY_ALL_ACCESS));
    ASSERT_TRUE(WriteBytes(Game("\\psrpc.dll"), kLocalised));
    ASSERT_NO_FATAL_FAILURE(UninstallExpectingDone());
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    EXPECT_FALSE(Marked());
    EXPECT_TRUE(Shown("install"));
    EXPECT_FALSE(Shown("uninstall"));
}

}  // namespace
