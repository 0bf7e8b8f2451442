#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/FileHelpers.h"
#include "installer/FileWrite_win.h"
#include "installer/InstallMark_win.h"
#include "tests/installer/InstallerFixture_win.h"

// The install record: what the install wrote, and what stood there before, taken back exactly by the uninstall.
// The player's game as it was before, byte for byte: a patch after the install, another version of the game, the
// player's own files in the pack folder, a record missing, damaged or written by an older package, and an
// uninstall that stopped part way.
namespace {

const char kRecord[] = "\\quorvan\\install.rec";
const char kPatched[] = "psrpc.dll of the 1.02 patch";
const char kOtherVersion[] = "psrpc.dll of another version of the game";
const char kUninstallHeading[] = "卸载结束, 但有 %u 项未能完成:";

std::string Heading(const char* format, unsigned count) {
    char text[128];
    std::snprintf(text, sizeof text, format, count);
    return text;
}

class InstallRecordTest : public InstallerTest {
  protected:
    // Installs from pack and expects its confirmation, the question for another version's files when asked (answered
    // "是") and its success note.
    void InstallExpectingDone(const TestPack& pack, bool asked = false) {
        Open(pack);
        recorder_.Clear();
        Press("install");
        ASSERT_TRUE(WaitForInstall());
        const std::vector<RecordedMessage> boxes = recorder_.Messages();
        ASSERT_EQ(asked ? 3u : 2u, boxes.size());
        ASSERT_EQ("安装成功结束!", boxes.back().text);
        ASSERT_TRUE(Exists(Game(kRecord)));
    }

    // Presses "uninstall" and returns its last box.
    RecordedMessage Uninstall() {
        recorder_.Clear();
        Press("uninstall");
        const std::vector<RecordedMessage> boxes = recorder_.Messages();
        EXPECT_EQ(2u, boxes.size());
        return boxes.empty() ? RecordedMessage{} : boxes.back();
    }

    void ExpectNothingOfThePack() {
        for (const char* file : {"\\SavePatch.qvx", "\\quorvan\\readme.txt", "\\quorvan\\Data\\Sub\\File.BIN",
                                 "\\quorvan\\empty.dat", "\\quorvan\\resource.lst", kRecord, "\\quorvan\\kept"})
            EXPECT_FALSE(Exists(Game(file))) << file;
        EXPECT_FALSE(Marked());
    }
};

TEST_F(InstallRecordTest, FilesChangedSinceTheInstallStayAndAreNamed) {
    struct Case {
        const char* what;
        const char* file;  // changed after the install
        const char* name;  // as the last box names it
    };
    const Case cases[] = {
        {"a game file patched", "\\psrpc.dll", "psrpc.dll"},
        {"a pack file changed", "\\quorvan\\readme.txt", "quorvan\\readme.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MakeGame(game_);
        ASSERT_NO_FATAL_FAILURE(InstallExpectingDone(StandardPack()));
        ASSERT_TRUE(WriteBytes(Game(c.file), kPatched));
        const RecordedMessage box = Uninstall();
        ExpectFailureBox(box, Heading(kUninstallHeading, 1), {std::string("安装后已被改动, 保留未动: ") + c.name});
        EXPECT_EQ(kPatched, FileBytes(Game(c.file)));
        EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
        EXPECT_FALSE(Exists(Game(kRecord)));
        EXPECT_FALSE(Marked());
        EXPECT_EQ(kOriginalConfig, FileBytes(Game("\\SM3Config.exe")));
        EXPECT_EQ(kOriginalLoadScreen, FileBytes(Game("\\media\\data\\etc\\japanese\\loadscreen.png")));
        RemoveTree(Game("\\quorvan"));
    }
}

TEST_F(InstallRecordTest, AnotherVersionIsAskedFirstAndItsFilesComeBackByteForByte) {
    ASSERT_TRUE(WriteBytes(Game("\\psrpc.dll"), kOtherVersion));
    const TestPack pack = StandardPack();
    Open(pack);

    // "否", the default: nothing changes.
    recorder_.Answer(kIdOk);
    recorder_.Answer(kIdNo);
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("安装确认", boxes[1].caption);
    EXPECT_EQ(unsigned(kMbYesNo | kMbIconWarning | kMbDefButton2), boxes[1].style);
    EXPECT_NE(std::string::npos, boxes[1].text.find("\r\n    psrpc.dll\r\n")) << boxes[1].text;
    EXPECT_NE(std::string::npos, boxes[1].text.find("另一个版本")) << boxes[1].text;
    EXPECT_EQ(std::string::npos, boxes[1].text.find("SM3Config.exe")) << boxes[1].text;
    EXPECT_FALSE(Exists(Game("\\quorvan")));
    EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
    EXPECT_FALSE(Marked());
    ExpectGameFiles(kOriginalConfig, kOtherVersion, kOriginalLoadScreen);

    // "是": installed, the player's bytes kept; the uninstall gives them back.
    recorder_.Clear();
    Press("install");
    ASSERT_TRUE(WaitForInstall());
    boxes = recorder_.Messages();
    ASSERT_EQ(3u, boxes.size());
    EXPECT_EQ("安装成功结束!", boxes[2].text);
    EXPECT_EQ(pack.Bytes("psrpc.qvx"), FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(kOtherVersion, FileBytes(Game("\\quorvan\\kept\\psrpc.dll")));
    EXPECT_EQ("卸载完成!", Uninstall().text);
    ExpectGameFiles(kOriginalConfig, kOtherVersion, kOriginalLoadScreen);
    EXPECT_FALSE(Exists(Game("\\quorvan")));
    ExpectNothingOfThePack();
}

TEST_F(InstallRecordTest, ThePlayersFilesInThePackFolderStayAndEverythingOfThePackGoes) {
    ASSERT_NO_FATAL_FAILURE(InstallExpectingDone(StandardPack()));
    ASSERT_TRUE(WriteBytes(Game("\\quorvan\\mine.txt"), "the player's note"));
    ASSERT_TRUE(WriteFileMakingDirs("a save", 6, Game("\\quorvan\\Data\\Sub\\saves\\slot1.dat").c_str()));
    const RecordedMessage box = Uninstall();
    ExpectFailureBox(box, Heading(kUninstallHeading, 2),
                     {"不是汉化包的文件, 保留未动: quorvan\\mine.txt",
                      "不是汉化包的文件, 保留未动: quorvan\\data\\sub\\saves\\slot1.dat"});
    EXPECT_EQ("the player's note", FileBytes(Game("\\quorvan\\mine.txt")));
    EXPECT_EQ("a save", FileBytes(Game("\\quorvan\\Data\\Sub\\saves\\slot1.dat")));
    EXPECT_FALSE(Exists(Game("\\quorvan\\字体")));
    ExpectNothingOfThePack();
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
}

TEST_F(InstallRecordTest, WithoutASoundRecordTheUninstallIsTodays) {
    struct Case {
        const char* what;
        bool remove;  // the record removed, or one byte of it changed
    };
    for (const Case& c : {Case{"record missing", true}, Case{"record damaged", false}}) {
        SCOPED_TRACE(c.what);
        MakeGame(game_);
        ASSERT_NO_FATAL_FAILURE(InstallExpectingDone(StandardPack()));
        ASSERT_TRUE(WriteBytes(Game("\\quorvan\\mine.txt"), "the player's note"));
        std::string record = FileBytes(Game(kRecord));
        record[record.size() / 2] ^= 1;
        ASSERT_TRUE(c.remove ? DeleteFileA(Game(kRecord).c_str()) : WriteBytes(Game(kRecord), record));
        const RecordedMessage box = Uninstall();
        if (c.remove) {
            EXPECT_EQ("卸载完成!", box.text);
            EXPECT_FALSE(Exists(Game("\\quorvan")));  // today's uninstall: the whole pack folder goes
        } else {
            ExpectFailureBox(box, Heading(kUninstallHeading, 1),
                             {"安装记录已损坏, 按没有安装记录的方式卸载: quorvan\\install.rec"});
            EXPECT_FALSE(Exists(Game("\\quorvan\\mine.txt")));
            EXPECT_FALSE(Exists(Game(kRecord)));
        }
        EXPECT_FALSE(Exists(Game("\\SavePatch.qvx")));
        EXPECT_FALSE(Marked());
        ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
        RemoveTree(Game("\\quorvan"));
    }
}

TEST_F(InstallRecordTest, AGameFileHeldOpenDuringTheInstallIsTheGamesOwnToTheUninstall) {
    HANDLE held = CreateFileA(Game("\\psrpc.dll").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Open(StandardPack());
    Press("install");
    const bool ended = WaitForInstall();
    CloseHandle(held);
    ASSERT_TRUE(ended);
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[1].text.find("psrpc.dll")) << boxes[1].text;
    EXPECT_EQ(kOriginalLibrary, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ("卸载完成!", Uninstall().text);
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    ExpectNothingOfThePack();
}

TEST_F(InstallRecordTest, AnInstallationOfAnOlderPackageIsTakenBackFromItsRecord) {
    TestPack older = StandardPack();
    for (TestRecord& record : older.records) {
        if (record.recordSpec.name == "psrpc.qvx" || record.recordSpec.name == "SM3Config.qvx")
            record.bytes = "older localised " + record.recordSpec.name;
    }
    older.records.push_back(MakeRecord("quorvan\\only-older.txt", "a file the newer package has not"));
    ASSERT_NO_FATAL_FAILURE(InstallExpectingDone(older));
    EXPECT_EQ("older localised psrpc.qvx", FileBytes(Game("\\psrpc.dll")));

    ASSERT_TRUE(WriteBytes(Game("\\quorvan\\mine.txt"), "the player's note"));

    // The newer package's own localised files differ: the record, not the package, says what the install wrote.
    Open(StandardPack());
    ExpectFailureBox(Uninstall(), Heading(kUninstallHeading, 1), {"不是汉化包的文件, 保留未动: quorvan\\mine.txt"});
    ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    EXPECT_FALSE(Exists(Game("\\quorvan\\only-older.txt")));
    EXPECT_EQ("the player's note", FileBytes(Game("\\quorvan\\mine.txt")));
    ExpectNothingOfThePack();
}

TEST_F(InstallRecordTest, AnOriginalThatIsDamagedOrMissingIsFoundBeforeTheFirstChange) {
    struct Case {
        const char* entry;
        bool remove;
    };
    for (const Case& c :
         {Case{"psrpc.org", false}, Case{"loading_org\\loadscreen.png", false}, Case{"SM3Config.org", true}}) {
        SCOPED_TRACE(c.entry);
        TestPack pack = StandardPack();
        if (c.remove)
            pack.Remove(c.entry);
        else
            BreakDigest(pack, c.entry);
        Open(pack);
        recorder_.Clear();
        Press("install");
        ASSERT_TRUE(WaitForInstall());
        const std::vector<RecordedMessage> boxes = recorder_.Messages();
        ASSERT_EQ(2u, boxes.size());
        EXPECT_NE(std::string::npos, boxes[1].text.find("安装程序已损坏")) << boxes[1].text;
        EXPECT_NE(std::string::npos, boxes[1].text.find(std::string("\r\n    ") + c.entry)) << boxes[1].text;
        EXPECT_FALSE(Exists(Game("\\quorvan")));
        EXPECT_FALSE(Marked());
        ExpectGameFiles(kOriginalConfig, kOriginalLibrary, kOriginalLoadScreen);
    }
}

// The uninstall stopped part way (killed, or a write refused): the next one finishes the job from the record.
size_t gWritesLeft = 0;
bool WriteUntilRefused(HANDLE file, const void* bytes, size_t size) {
    if (gWritesLeft == 0)
        return false;
    --gWritesLeft;
    return WriteWholeBuffer(file, bytes, size);
}

TEST_F(InstallRecordTest, AnUninstallThatStoppedIsFinishedByTheNext) {
    enum class Stop { kWriteRefused, kKilledAfterPuttingBack, kKilledWhileRemoving };
    struct Case {
        const char* what;
        Stop stop;
    };
    const Case cases[] = {
        {"the second game file could not be written back", Stop::kWriteRefused},
        {"killed after the game files were put back", Stop::kKilledAfterPuttingBack},
        {"killed while the pack's files were removed", Stop::kKilledWhileRemoving},
    };
    const char kAnotherConfig[] = "SM3Config.exe of another version";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MakeGame(game_);
        ASSERT_TRUE(WriteBytes(Game("\\SM3Config.exe"), kAnotherConfig));
        ASSERT_NO_FATAL_FAILURE(InstallExpectingDone(StandardPack(), true));
        recorder_.Clear();
        if (c.stop == Stop::kWriteRefused) {
            gWritesLeft = 1;
            ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = WriteUntilRefused; });
            Press("uninstall");
            ChangeDependencies([](InstallerDependencies& d) { d.fileWriter = WriteWholeBuffer; });
            EXPECT_TRUE(Exists(Game("\\SavePatch.qvx")));
        } else {
            // What the uninstall had done when it was killed.
            ASSERT_TRUE(WriteBytes(Game("\\psrpc.dll"), kOriginalLibrary));
            ASSERT_TRUE(WriteBytes(Game("\\SM3Config.exe"), kAnotherConfig));
            ASSERT_TRUE(WriteBytes(Game("\\media\\data\\etc\\japanese\\loadscreen.png"), kOriginalLoadScreen));
            if (c.stop == Stop::kKilledWhileRemoving) {
                ASSERT_TRUE(DeleteFileA(Game("\\SavePatch.qvx").c_str()));
                ASSERT_TRUE(DeleteFileA(Game("\\quorvan\\readme.txt").c_str()));
            }
        }
        EXPECT_TRUE(Marked());
        EXPECT_TRUE(Exists(Game(kRecord)));
        EXPECT_EQ(kAnotherConfig, FileBytes(Game("\\quorvan\\kept\\SM3Config.exe")));
        EXPECT_EQ("卸载完成!", Uninstall().text);
        ExpectGameFiles(kAnotherConfig, kOriginalLibrary, kOriginalLoadScreen);
        EXPECT_FALSE(Exists(Game("\\quorvan")));
        ExpectNothingOfThePack();
    }
}

}  // namespace
