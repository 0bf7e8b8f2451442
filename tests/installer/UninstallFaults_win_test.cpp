#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "installer/FileHelpers.h"
#include "installer/FileWrite_win.h"
#include "installer/InstallMark_win.h"
#include "installer/UninstallFlow_win.h"
#include "tests/common/HostLinks_win.h"
#include "tests/installer/InstallerFixture_win.h"

// Faults injected into the uninstall: a link inside the pack folder that points elsewhere, a game file that the
// running game holds open, a full disk, an unlocalised copy in the package that fails its check. Nothing outside
// the pack folder is deleted, no game file is cut short or overwritten with unchecked bytes, and an uninstall that
// could not write a game file back keeps the install mark so that it can be run again.
namespace {

const char kLocalised[] = "localised";
const char kPrecious[] = "the user's own file, somewhere else";
const char* const kGameFiles[] = {"\\SM3Config.exe", "\\psrpc.dll", "\\media\\data\\etc\\japanese\\loadscreen.png"};

bool gDiskFull = false;
bool WriteUnlessFull(HANDLE file, const void* bytes, size_t size) {
    if (gDiskFull && size > 0) {
        WriteWholeBuffer(file, bytes, size / 2);
        return false;
    }
    return WriteWholeBuffer(file, bytes, size);
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
        ExpectFailureBox(boxes[1],
                         "卸载结束, 但有 1 项未能完成:", {"指向别处的链接, 没有跟随也没有删除: quorvan\\data\\moved"});
    } else {
        EXPECT_EQ("卸载完成!", boxes[1].text);
    }
}

// The originals go back first and the pack after them: a game file that cannot be written back leaves the pack
// and the mark in place, so that the player never has neither, and the box says why the file could not be written.
TEST_F(UninstallFaultTest, GameFileHeldOpenKeepsThePackAndTheMarkAndASecondRunFinishes) {
    MakeInstalled();
    Open(StandardPack());
    HANDLE game = CreateFileA(Game("\\psrpc.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, game);
    Press("uninstall");
    CloseHandle(game);

    std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    const std::string log =
        ExpectFailureBox(boxes[1], "卸载结束, 但有 1 项未能完成:", {"无法写入 (文件正被其他程序使用): psrpc.dll"});
    EXPECT_NE(std::string::npos, boxes[1].text.find("汉化包仍记为已安装.\r\n请关闭游戏后再次卸载.")) << boxes[1].text;
    EXPECT_EQ(Game("\\quorvan\\uninstall-errors.txt"), log);
    EXPECT_EQ(kLocalised, FileBytes(Game("\\psrpc.dll")));  // whole, not cut short
    EXPECT_EQ(kOriginalConfig, FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(kOriginalLoadScreen, FileBytes(Game("\\media\\data\\etc\\japanese\\loadscreen.png")));
    EXPECT_EQ(kLocalised, FileBytes(Game("\\quorvan\\readme.txt")));
    EXPECT_EQ(kLocalised, FileBytes(Game("\\SavePatch.qvx")));
    EXPECT_TRUE(Marked());
    EXPECT_TRUE(Shown("uninstall"));
    EXPECT_FALSE(Shown("install"));

    // The game is closed now: the second run writes the file back, takes the log with the pack folder, and ends.
    ASSERT_NO_FATAL_FAILURE(UninstallExpectingDone());
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_FALSE(Exists(Game("\\quorvan")));
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_FALSE(Marked());
    EXPECT_TRUE(Shown("install"));
}

TEST_F(UninstallFaultTest, FullDiskLeavesTheLocalisedFilesWholeAndKeepsThePackAndTheMark) {
    MakeInstalled();
    Open(StandardPack());
    ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = WriteUnlessFull; });
    gDiskFull = true;
    Press("uninstall");

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[1].text.find("卸载结束, 但有 3 项未能完成:\r\n    无法写入: ")) << boxes[1].text;
    EXPECT_NE(std::string::npos, boxes[1].text.find("\r\n完整列表未能写入: ")) << boxes[1].text;
    EXPECT_NE(std::string::npos, boxes[1].text.find("汉化包仍记为已安装.\r\n请解决上述问题后再次卸载."))
        << boxes[1].text;
    for (const char* file : {"\\SM3Config.exe", "\\psrpc.dll", "\\media\\data\\etc\\japanese\\loadscreen.png"})
        EXPECT_EQ(kLocalised, FileBytes(Game(file))) << file;
    EXPECT_TRUE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_TRUE(Exists(Game("\\quorvan\\readme.txt")));
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
    EXPECT_NE(std::string::npos, boxes[2].text.find("安装程序已损坏")) << boxes[2].text;
    // Nothing is taken away before all three originals are known to be whole.
    EXPECT_EQ(kLocalised, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(kLocalised, FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(kLocalised, FileBytes(Game("\\quorvan\\readme.txt")));
    EXPECT_TRUE(Marked());
}

// A player who moved the pack to another drive left a link named "quorvan" behind: what it points at is the
// player's, and stays byte for byte. The log is not written through the link either.
TEST_F(UninstallFaultTest, PackFolderThatIsALinkIsNeverFollowed) {
    MakeInstalled();
    RemoveTree(Game("\\quorvan"));
    const std::string moved = dir_.Join("moved pack");
    ASSERT_TRUE(WriteFileMakingDirs(kPrecious, sizeof kPrecious - 1, (moved + "\\data\\font.png").c_str()));
    ASSERT_TRUE(WriteBytes(moved + "\\readme.txt", kPrecious));
    ASSERT_TRUE(CreateDirectoryA((moved + "\\empty").c_str(), nullptr));
    ASSERT_TRUE(RunUnix("/bin/ln -sfn \"../moved pack\" quorvan", game_, [&] { return IsLinkAt(Game("\\quorvan")); }));
    ASSERT_EQ(kPrecious, FileBytes(Game("\\quorvan\\readme.txt")));
    Open(StandardPack());
    Press("uninstall");

    EXPECT_EQ(kPrecious, FileBytes(moved + "\\data\\font.png"));
    EXPECT_EQ(kPrecious, FileBytes(moved + "\\readme.txt"));
    EXPECT_TRUE(Exists(moved + "\\empty"));
    EXPECT_FALSE(Exists(moved + "\\uninstall-errors.txt"));
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(kOriginalConfig, FileBytes(Game("\\SM3Config.exe")));
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_FALSE(Marked());
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    if (IsLinkAt(Game("\\quorvan"))) {
        // Wine opens what a link of the machine it runs on points at, so it is left; Windows removes a junction.
        const std::string log =
            ExpectFailureBox(boxes[1], "卸载结束, 但有 1 项未能完成:", {"指向别处的链接, 没有跟随也没有删除: quorvan"});
        EXPECT_EQ(Game("\\uninstall-errors.txt"), log);
    } else {
        EXPECT_EQ("卸载完成!", boxes[1].text);
    }
}

// Set by SwapForALink: the folder to swap, whether Windows refused to rename it, and whether the swap was made.
std::string gSwapTarget;
bool gRenameRefused = false;
bool gSwapped = false;

// Runs while the uninstall holds the checked folder: a hostile program puts a link in its place.
void SwapForALink(const std::string& path) {
    if (path != gSwapTarget || gSwapped)
        return;
    gSwapped = true;
    gRenameRefused = !MoveFileA(path.c_str(), (path + ".old").c_str());
    // A program of the machine Wine runs on is not bound by the system's sharing rules: it swaps all the same.
    const std::string parent = path.substr(0, path.find_last_of('\\'));
    RunUnix("/bin/sh -c \"mv data data.old && ln -s ../../elsewhere data\"", parent, [&] { return IsLinkAt(path); });
}

// A folder swapped for a link after it was checked: what the link leads to is never touched, because every entry
// is opened by name and then compared with the folder the uninstall holds.
TEST_F(UninstallFaultTest, FolderSwappedForALinkAfterItsCheckIsNotFollowed) {
    MakeInstalled();
    const std::string outside = dir_.Join("elsewhere");
    const std::string mirrored = outside + "\\common\\japanese\\high\\font00a.png";  // the same names as the pack's
    ASSERT_TRUE(WriteFileMakingDirs(kPrecious, sizeof kPrecious - 1, mirrored.c_str()));
    ASSERT_TRUE(WriteBytes(outside + "\\top.txt", kPrecious));
    Open(StandardPack());
    gSwapTarget = Game("\\quorvan\\data");
    gRenameRefused = gSwapped = false;
    ChangeDependencies([](InstallerDependencies& d) { d.folderChecked = SwapForALink; });
    Press("uninstall");
    ChangeDependencies([](InstallerDependencies& d) { d.folderChecked = nullptr; });

    ASSERT_TRUE(gSwapped);
    EXPECT_TRUE(gRenameRefused);  // the checked folder is held without delete sharing
    ASSERT_TRUE(IsLinkAt(Game("\\quorvan\\data")));
    EXPECT_EQ(kPrecious, FileBytes(mirrored));
    EXPECT_EQ(kPrecious, FileBytes(outside + "\\top.txt"));
    EXPECT_FALSE(Exists(Game("\\quorvan\\readme.txt")));
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectFailureBox(boxes[1],
                     "卸载结束, 但有 1 项未能完成:", {"指向别处的链接, 没有跟随也没有删除: quorvan\\data\\common"});
}

// Wine deletes what a link of its machine points at when asked to delete the link by name: links to a file and to
// an empty folder inside the pack must not reach their targets either. (Wine shows the link to a file as the plain
// file it leads to.)
TEST_F(UninstallFaultTest, LinksToAFileAndToAnEmptyFolderKeepTheirTargets) {
    MakeInstalled();
    const std::string outside = dir_.Join("elsewhere");
    ASSERT_TRUE(WriteFileMakingDirs(kPrecious, sizeof kPrecious - 1, (outside + "\\precious.txt").c_str()));
    ASSERT_TRUE(CreateDirectoryA((outside + "\\empty").c_str(), nullptr));
    const std::string data = Game("\\quorvan\\data");
    ASSERT_TRUE(RunUnix("/bin/ln -sfn ../../../elsewhere/precious.txt note.txt", data,
                        [&] { return FileBytes(data + "\\note.txt") == kPrecious; }));
    ASSERT_TRUE(
        RunUnix("/bin/ln -sfn ../../../elsewhere/empty cache", data, [&] { return IsLinkAt(data + "\\cache"); }));
    Open(StandardPack());
    Press("uninstall");

    EXPECT_EQ(kPrecious, FileBytes(outside + "\\precious.txt"));
    EXPECT_TRUE(Exists(outside + "\\empty"));
    EXPECT_FALSE(Exists(Game("\\quorvan\\readme.txt")));
    EXPECT_FALSE(Marked());
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    std::vector<std::string> left;
    for (const char* link : {"note.txt", "cache"}) {
        if (Exists(data + "\\" + link))
            left.push_back(std::string("指向别处的链接, 没有跟随也没有删除: quorvan\\data\\") + link);
    }
    if (left.empty())
        EXPECT_EQ("卸载完成!", boxes[1].text);
    else
        ExpectFailureBox(boxes[1], "卸载结束, 但有 " + std::to_string(left.size()) + " 项未能完成:", left);
}

// A game copied from its disc: the replaced files are read-only, and the originals go back all the same.
TEST_F(UninstallFaultTest, ReadOnlyGameFilesAreRestored) {
    MakeInstalled();
    for (const char* file : kGameFiles)
        ASSERT_TRUE(SetFileAttributesA(Game(file).c_str(), FILE_ATTRIBUTE_READONLY)) << file;
    Open(StandardPack());
    Press("uninstall");

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("卸载完成!", boxes[1].text);
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    EXPECT_FALSE(Marked());
}

// A game file that holds its original bytes already is neither written nor counted as a failure, even when it
// could not be written (read-only, and held by the running game): a second uninstall does not stall on it.
TEST_F(UninstallFaultTest, GameFileThatIsOriginalAlreadyIsLeftAlone) {
    MakeInstalled();
    ASSERT_TRUE(WriteBytes(Game("\\psrpc.dll"), kOriginalLibrary));
    ASSERT_TRUE(SetFileAttributesA(Game("\\psrpc.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    FILETIME before;
    HANDLE game =
        CreateFileA(Game("\\psrpc.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, game);
    ASSERT_TRUE(GetFileTime(game, nullptr, nullptr, &before));
    Open(StandardPack());
    Press("uninstall");
    FILETIME after;
    EXPECT_TRUE(GetFileTime(game, nullptr, nullptr, &after));
    CloseHandle(game);

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("卸载完成!", boxes[1].text);
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(0, CompareFileTime(&before, &after));
    EXPECT_TRUE(GetFileAttributesA(Game("\\psrpc.dll").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(kOriginalConfig, FileBytes(Game("\\SM3Config.exe")));
    EXPECT_FALSE(Marked());
}

// The settings dialog of another copy of the program still has the library loaded: the mark stays for a second run,
// and the box says what holds it up.
TEST_F(UninstallFaultTest, LibraryHeldOpenKeepsTheMark) {
    MakeInstalled();
    Open(StandardPack());
    HANDLE holder = CreateFileA(Game("\\SavePatch.qvx").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    Press("uninstall");
    CloseHandle(holder);

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectFailureBox(boxes[1], "卸载结束, 但有 1 项未能完成:", {"无法删除 (文件正被其他程序使用): SavePatch.qvx"});
    EXPECT_NE(std::string::npos,
              boxes[1].text.find("\r\n\r\n资源安装库没有删除, 汉化包仍记为已安装.\r\n请关闭游戏后再次卸载."))
        << boxes[1].text;
    EXPECT_EQ(kLocalised, FileBytes(Game("\\SavePatch.qvx")));
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_TRUE(Marked());
    EXPECT_TRUE(Shown("uninstall"));
}

// A game at the root of a drive (a substituted or mapped drive): the mark names the root, with or without its
// separator, and the uninstall takes the pack away there as anywhere else.
TEST_F(UninstallFaultTest, GameAtTheRootOfADrive) {
    MakeInstalled();
    DriveAtFolder drive(game_);
    ASSERT_FALSE(drive.drive().empty());
    SetValue(kQuorvanInfoValue, drive.drive() + "\\");
    Open(StandardPack());
    Press("uninstall");

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("卸载完成!", boxes[1].text);
    EXPECT_FALSE(Exists(Game("\\quorvan")));
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(kOriginalLoadScreen, FileBytes(Game("\\media\\data\\etc\\japanese\\loadscreen.png")));
    EXPECT_FALSE(Marked());

    // The bare drive ("G:" alone would be the drive's current folder) names the same root.
    ASSERT_TRUE(WriteFileMakingDirs(kLocalised, sizeof kLocalised - 1, Game("\\quorvan\\data\\x.txt").c_str()));
    std::vector<LeftBehind> left;
    EXPECT_TRUE(RemoveWithoutFollowingLinks(drive.drive(), "quorvan", left));
    EXPECT_TRUE(left.empty());
    EXPECT_FALSE(Exists(Game("\\quorvan")));
}

// Files of the stand-in game made immutable on the machine Wine runs on, for as long as the object lives: even a
// process running as root can then neither write, replace nor change the attributes of them, so the system refuses
// as Windows refuses a file the user may not write.
class ImmutableFiles {
  public:
    ImmutableFiles(const std::string& folder, const std::vector<std::string>& names) : folder_(folder), names_(names) {
        ready_ = Run("+i", [this] { return !Writable(); });
    }
    ~ImmutableFiles() {
        Run("-i", [this] { return Writable(); });
    }
    bool ready() const { return ready_; }

  private:
    bool Run(const char* change, const std::function<bool()>& done) {
        std::string line = std::string("/usr/bin/chattr ") + change;
        for (const std::string& name : names_)
            line += " " + name;
        return RunUnix(line, folder_, done);
    }
    bool Writable() const {
        for (const std::string& name : names_) {
            HANDLE file = CreateFileA((folder_ + "\\" + name).c_str(), FILE_WRITE_DATA, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                return false;
            CloseHandle(file);
        }
        return true;
    }
    std::string folder_;
    std::vector<std::string> names_;
    bool ready_ = false;
};

// Game files that really cannot be written are named with their cause, and the advice fits each cause rather than
// always "close the game"; the pack and the mark stay.
TEST_F(UninstallFaultTest, FilesThatCannotBeWrittenAreNamedWithTheirCause) {
    MakeInstalled();
    ASSERT_TRUE(SetFileAttributesA(Game("\\SM3Config.exe").c_str(), FILE_ATTRIBUTE_READONLY));
    {
        ImmutableFiles refused(game_, {"psrpc.dll", "SM3Config.exe"});
        if (!refused.ready())
            GTEST_SKIP() << "chattr +i is not allowed here";
        Open(StandardPack());
        Press("uninstall");
    }
    SetFileAttributesA(Game("\\SM3Config.exe").c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectFailureBox(boxes[1], "卸载结束, 但有 2 项未能完成:",
                     {"无法写入 (拒绝访问): psrpc.dll", "无法写入 (文件只读): SM3Config.exe"});
    EXPECT_NE(std::string::npos, boxes[1].text.find("汉化包仍记为已安装.\r\n请确认有权写入这些文件后再次卸载.\r\n"
                                                    "请去掉这些文件的只读属性后再次卸载."))
        << boxes[1].text;
    EXPECT_EQ(kLocalised, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(kLocalised, FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(kOriginalLoadScreen, FileBytes(Game("\\media\\data\\etc\\japanese\\loadscreen.png")));
    EXPECT_TRUE(Exists(Game("\\quorvan\\readme.txt")));
    EXPECT_TRUE(Marked());
}

LONG WINAPI RefuseToDelete(HKEY, const char*) {
    return ERROR_ACCESS_DENIED;
}

// "卸载完成!" never while the mark stays: the player is told, and the uninstall control stays for another run.
TEST_F(UninstallFaultTest, MarkThatCannotBeRemovedIsTold) {
    MakeInstalled();
    Open(StandardPack());
    ChangeDependencies([](InstallerDependencies& d) { d.deleteMarkValue = RefuseToDelete; });
    Press("uninstall");
    ChangeDependencies([](InstallerDependencies& d) { d.deleteMarkValue = DeleteGbkValue; });

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    ExpectFailureBox(boxes[1], "卸载结束, 但有 1 项未能完成:", {"注册表中的安装记录无法删除: QuorvanInfo"});
    EXPECT_NE(std::string::npos,
              boxes[1].text.find("\r\n\r\n注册表中的安装记录未能删除, 汉化包仍记为已安装. 请再次卸载."))
        << boxes[1].text;
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_TRUE(Marked());
    EXPECT_TRUE(Shown("uninstall"));
    EXPECT_FALSE(Shown("install"));
}

// A folder whose path is too long for the system's calls without the long-path prefix (MAX_PATH) cannot be entered:
// it stays and is named, and the uninstall does not claim to be complete.
TEST_F(UninstallFaultTest, FolderTooDeepToEnterIsNamed) {
    MakeInstalled();
    const std::string component(60, 'd');
    std::string deep = Game("\\quorvan\\deep");
    std::string relative = "quorvan\\deep";
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    std::string tooLong;  // the first folder whose path is beyond MAX_PATH
    while (deep.size() < 400) {
        deep += "\\" + component;
        if (deep.size() < MAX_PATH)
            relative += "\\" + component;
        else if (tooLong.empty())
            tooLong = relative + "\\" + component;
        const std::wstring wide = L"\\\\?\\" + std::wstring(deep.begin(), deep.end());
        ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr)) << deep.size();
    }
    Open(StandardPack());
    Press("uninstall");

    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NE("卸载完成!", boxes[1].text);
    ExpectFailureBox(boxes[1], "卸载结束, 但有 1 项未能完成:", {"文件夹未能进入, 连同其内容留在原处: " + tooLong});
    EXPECT_TRUE(Exists(Game("\\quorvan\\deep")));
    EXPECT_FALSE(Exists(Game("\\quorvan\\readme.txt")));
    EXPECT_FALSE(Marked());
}

}  // namespace
