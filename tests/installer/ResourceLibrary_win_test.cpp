#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "installer/Dependencies_win.h"
#include "installer/ResourceLibrary_win.h"
#include "package/Extract.h"
#include "package/Package.h"
#include "tests/common/HostLinks_win.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestFiles_win.h"
#include "tests/common/TestPackage.h"

namespace {

// The build's SavePatch.qvx as Wine sees it: drive Z: is the Linux root.
std::string BuiltLibrary() {
    std::string path = std::string("Z:") + QV_SAVEPATCH_FILE;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The settings dialog's two renders, as it asks for them.
const UserFontArguments kFonts[] = {
    {"832_896", 832, 896, "自创32", "宋体", 32, 5, 2, "关羽张飞赵云马超", "bg\\high\\user_font01b.tga",
     "data\\common\\japanese\\high\\font01b.png"},
    {"520_560", 520, 560, "自创20", "宋体", 20, 5, 2, "关羽张飞赵云马超", "bg\\low\\user_font01b.tga",
     "data\\common\\japanese\\low\\font01b.png"},
};
const UserFontArguments& kHighFont = kFonts[0];
const UserFontArguments& kLowFont = kFonts[1];

// The program's own package, holding the given bytes as "SavePatch.qvx": the library is loaded only when the file
// holds exactly them.
class PackagedLibrary {
  public:
    explicit PackagedLibrary(const std::string& bytes, bool damaged = false) {
        TestRecord record = MakeRecord("SavePatch.qvx", bytes);
        record.recordSpec.upperCaseDigest = damaged;  // a digest that never matches: the entry fails its check
        const std::string package = dir_.Join("package.bin");
        gPackageIndex.clear();
        ready_ = WriteTestPackage(package, {record}) &&
                 IndexPackageFile(package.c_str(), gPackageIndex).status == IndexStatus::kOk;
    }
    ~PackagedLibrary() { gPackageIndex.clear(); }
    bool ready() const { return ready_; }

  private:
    TempDir dir_;
    bool ready_ = false;
};

// A game folder with the library beside it, as the install flow leaves it, and the package it came from.
class GameFolder {
  public:
    GameFolder() : package_(FileBytes(BuiltLibrary())) {
        copied_ = package_.ready() && CopyFileA(BuiltLibrary().c_str(), Library().c_str(), FALSE) != FALSE;
    }
    bool copied() const { return copied_; }
    std::string Library() const { return dir_.Join("SavePatch.qvx"); }
    // The path the way the install flow joins it.
    std::string LibraryAsCalled() const { return dir_.path() + "/SavePatch.qvx"; }
    std::string Pack(const std::string& relative) const { return dir_.Join("quorvan\\" + relative); }
    bool Add(const std::string& relative, const std::string& bytes) {
        std::string path = Pack(relative);
        for (size_t i = path.find('\\', dir_.path().size() + 1); i != std::string::npos; i = path.find('\\', i + 1))
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
        return WriteBytes(path, bytes);
    }

    std::string Folder() const { return dir_.path(); }

  private:
    TempDir dir_;
    PackagedLibrary package_;
    bool copied_ = false;
};

std::vector<std::string> IndexLines(const GameFolder& game) {
    std::string text;
    EXPECT_TRUE(ReadBytes(game.Pack("resource.lst"), &text));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(text.size(), start) << "the index ends with a whole line";
    std::sort(lines.begin(), lines.end());  // the walk's order is the file system's
    return lines;
}

std::string Line(const std::string& relative, const std::string& bytes) {
    std::ostringstream line;
    line << relative << '\t' << bytes.size() << '\t' << Md5Hex(bytes.data(), bytes.size());
    return line.str();
}

const char kMissingExportProbe[] = "C:\\windows\\system32\\version.dll";

}  // namespace

TEST(ResourceLibrary, ExportsOnlyTheDecoratedNames) {
    HMODULE library = LoadLibraryA(BuiltLibrary().c_str());
    ASSERT_NE(nullptr, library) << BuiltLibrary();
    EXPECT_NE(nullptr, GetProcAddress(library, "?ResourceInstall@@YAX_NPAUHWND__@@PAD@Z"));
    EXPECT_NE(nullptr, GetProcAddress(library, "?CreateUserFont@@YA_NPBDHH00HHH000@Z"));
    EXPECT_EQ(nullptr, GetProcAddress(library, "ResourceInstall"));
    EXPECT_EQ(nullptr, GetProcAddress(library, "CreateUserFont"));
    FreeLibrary(library);
}

TEST(ResourceLibrary, ResourceInstallIndexesThePackFolder) {
    GameFolder game;
    ASSERT_TRUE(game.copied());
    const std::string text = "hello";
    std::string binary(1000, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(game.Add("a.txt", text));
    ASSERT_TRUE(game.Add("Sub\\B.BIN", binary));
    ASSERT_TRUE(game.Add("sub2\\empty.dat", ""));
    ASSERT_TRUE(game.Add(".svn\\skipped", "x"));

    MessageRecorder recorder;
    char status[512];
    std::memset(status, 'Z', sizeof status);
    ASSERT_TRUE(CallResourceInstall(game.LibraryAsCalled().c_str(), nullptr, status));
    EXPECT_TRUE(recorder.Messages().empty());
    EXPECT_STREQ("正在安装资源 100% (3/3)", status);

    // Sorted: "2" comes before "\".
    const std::vector<std::string> expected = {Line("a.txt", text), Line("sub2\\empty.dat", ""),
                                               Line("sub\\b.bin", binary)};
    EXPECT_EQ(expected, IndexLines(game));
    EXPECT_EQ("a.txt\t5\t5d41402abc4b2a76b9719d911017c592", expected[0]);

    // A second run does not index the index it wrote before.
    ASSERT_TRUE(CallResourceInstall(game.Library().c_str(), nullptr, status));
    EXPECT_EQ(expected, IndexLines(game));
}

namespace {

struct PaintLog {
    const char* statusText = nullptr;
    std::vector<std::string> seen;
};
PaintLog gPaintLog;

LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        if (gPaintLog.statusText)
            gPaintLog.seen.push_back(gPaintLog.statusText);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

TEST(ResourceLibrary, ProgressIsPaintedIntoTheStatusWindow) {
    GameFolder game;
    ASSERT_TRUE(game.copied());
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(game.Add("f" + std::to_string(i) + ".dat", std::string(size_t(i) * 100, 'q')));

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = StatusProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QvTestStatus";
    RegisterClassA(&windowClass);
    // The window may be painted as soon as it is shown (the 32-bit Wine paints it within UpdateWindow): the log
    // only looks at the text while it points at the buffer, and only at the paints during the call.
    char status[512] = "";
    gPaintLog.statusText = status;
    HWND window = CreateWindowExA(0, "QvTestStatus", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 20, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, window) << "the test needs a display (Xvfb)";
    UpdateWindow(window);

    gPaintLog.seen.clear();
    DWORD start = GetTickCount();
    const bool called = CallResourceInstall(game.Library().c_str(), window, status);
    DWORD elapsed = GetTickCount() - start;
    DestroyWindow(window);
    gPaintLog.statusText = nullptr;
    ASSERT_TRUE(called);

    ASSERT_GE(gPaintLog.seen.size(), 2u);
    EXPECT_EQ("正在安装资源 0% (0/40)", gPaintLog.seen.front());
    EXPECT_EQ("正在安装资源 100% (40/40)", gPaintLog.seen.back());
    // At most one repaint per 50 ms, besides the first and the last.
    EXPECT_LE(gPaintLog.seen.size(), 3u + elapsed / 50);
    EXPECT_EQ(40u, IndexLines(game).size());
}

TEST(ResourceLibrary, MissingLibraryIsReportedAndTheCallSkipped) {
    TempDir dir;
    const std::string path = dir.path() + "/SavePatch.qvx";
    MessageRecorder recorder;
    char status[512] = "untouched";
    EXPECT_FALSE(CallResourceInstall(path.c_str(), nullptr, status));
    EXPECT_STREQ("untouched", status);
    EXPECT_FALSE(CallCreateUserFont(path.c_str(), kHighFont));

    const std::vector<RecordedMessage> messages = recorder.Messages();
    ASSERT_EQ(2u, messages.size());
    for (const RecordedMessage& message : messages) {
        EXPECT_EQ("错误", message.caption);
        EXPECT_NE(std::string::npos, message.text.find(path)) << message.text;
        EXPECT_EQ(unsigned(kMbOk | kMbIconError), message.style);
        EXPECT_FALSE(message.hasOwner);
    }
}

TEST(ResourceLibrary, LibraryWithoutTheExportIsReportedAndTheCallSkipped) {
    const PackagedLibrary package(FileBytes(kMissingExportProbe));  // a package whose library lacks both exports
    ASSERT_TRUE(package.ready());
    MessageRecorder recorder;
    char status[512] = "untouched";
    EXPECT_FALSE(CallResourceInstall(kMissingExportProbe, nullptr, status));
    EXPECT_STREQ("untouched", status);
    EXPECT_FALSE(CallCreateUserFont(kMissingExportProbe, kLowFont));

    const std::vector<RecordedMessage> messages = recorder.Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_NE(std::string::npos, messages[0].text.find("ResourceInstall"));
    EXPECT_NE(std::string::npos, messages[1].text.find("CreateUserFont"));
    for (const RecordedMessage& message : messages) {
        EXPECT_EQ("错误", message.caption);
        EXPECT_NE(std::string::npos, message.text.find(kMissingExportProbe)) << message.text;
    }
}

TEST(ResourceLibrary, CreateUserFontOfTheStandInReportsFalseWithoutABox) {
    GameFolder game;
    ASSERT_TRUE(game.copied());
    MessageRecorder recorder;
    EXPECT_FALSE(CallCreateUserFont(game.LibraryAsCalled().c_str(), kHighFont));
    EXPECT_TRUE(recorder.Messages().empty());
}

namespace {

// CallResourceInstall of library with hook as the program's libraryChecked, put back after; *boxes counts the boxes
// it showed.
bool CallWithLibraryHook(LibraryCheckedHook hook, const std::string& library, char* status, size_t* boxes) {
    InstallerDependencies dependencies;
    dependencies.libraryChecked = hook;
    SetInstallerDependencies(dependencies);
    MessageRecorder recorder;
    const bool called = CallResourceInstall(library.c_str(), nullptr, status);
    SetInstallerDependencies(InstallerDependencies());
    *boxes = recorder.Messages().size();
    return called;
}

void ExpectOneRefusal(const MessageRecorder& recorder, const std::string& path, const char* where) {
    const std::vector<RecordedMessage> messages = recorder.Messages();
    ASSERT_EQ(1u, messages.size()) << where;
    EXPECT_EQ(0u, messages[0].text.find(kLibraryChangedText)) << where << ": " << messages[0].text;
    EXPECT_NE(std::string::npos, messages[0].text.find(path)) << where;
    EXPECT_EQ("错误", messages[0].caption) << where;
    EXPECT_EQ(unsigned(kMbOk | kMbIconError), messages[0].style) << where;
}

}  // namespace

// A library that anyone changed or replaced in the game folder (or one byte longer, which still loads) is not
// the package's: it is never loaded, and the one box says so.
TEST(ResourceLibrary, LibraryWhoseBytesAreNotThePackagesIsNeverLoaded) {
    GameFolder game;
    ASSERT_TRUE(game.copied());
    ASSERT_TRUE(game.Add("a.txt", "hello"));
    std::string bytes = FileBytes(game.Library());
    ASSERT_TRUE(WriteBytes(game.Library(), bytes + "x"));

    MessageRecorder recorder;
    char status[512] = "untouched";
    EXPECT_FALSE(CallResourceInstall(game.LibraryAsCalled().c_str(), nullptr, status));
    EXPECT_STREQ("untouched", status);
    EXPECT_FALSE(Exists(game.Pack("resource.lst"))) << "the changed library ran";
    ExpectOneRefusal(recorder, game.LibraryAsCalled(), "one byte more");

    bytes[bytes.size() / 2] ^= 0x01;
    ASSERT_TRUE(WriteBytes(game.Library(), bytes));
    recorder.Clear();
    EXPECT_FALSE(CallCreateUserFont(game.LibraryAsCalled().c_str(), kHighFont));
    ExpectOneRefusal(recorder, game.LibraryAsCalled(), "one bit changed");
}

// Without the entry, or with an entry that fails its own check, there is nothing to compare with: not loaded.
TEST(ResourceLibrary, LibraryIsNotLoadedWhenThePackagesEntryIsMissingOrDamaged) {
    GameFolder game;
    ASSERT_TRUE(game.copied());
    ASSERT_TRUE(game.Add("a.txt", "hello"));
    MessageRecorder recorder;
    char status[512] = "untouched";
    {
        const PackagedLibrary damaged(FileBytes(BuiltLibrary()), true);
        ASSERT_TRUE(damaged.ready());
        EXPECT_FALSE(CallResourceInstall(game.LibraryAsCalled().c_str(), nullptr, status));
        ExpectOneRefusal(recorder, game.LibraryAsCalled(), "damaged entry");
    }
    gPackageIndex.clear();
    recorder.Clear();
    EXPECT_FALSE(CallResourceInstall(game.LibraryAsCalled().c_str(), nullptr, status));
    ExpectOneRefusal(recorder, game.LibraryAsCalled(), "no entry");
    EXPECT_STREQ("untouched", status);
    EXPECT_FALSE(Exists(game.Pack("resource.lst")));
}

// Only a path that names one place: never a library found relative to the current folder or drive.
TEST(ResourceLibrary, RelativePathsAreNeverLoaded) {
    GameFolder game;
    ASSERT_TRUE(game.copied());
    ASSERT_TRUE(game.Add("a.txt", "hello"));
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(game.Folder().c_str()));
    MessageRecorder recorder;
    char status[512] = "untouched";
    bool anyCalled = false;
    for (const char* path : {"SavePatch.qvx", "./SavePatch.qvx", "/SavePatch.qvx", ""})
        anyCalled = CallResourceInstall(path, nullptr, status) || anyCalled;
    SetCurrentDirectoryA(previous);
    EXPECT_FALSE(anyCalled);
    EXPECT_STREQ("untouched", status);
    EXPECT_FALSE(Exists(game.Pack("resource.lst")));
    EXPECT_EQ(4u, recorder.Messages().size());
}

namespace {

// What another program manages to do to the library between the comparison and the load.
struct SwapAttempt {
    bool ran = false;
    bool opened = false;  // for writing
    bool renamed = false;
    bool deleted = false;
    DWORD openError = 0;
};
SwapAttempt gSwapAttempt;
std::string gRenamedTo;

void TryToSwap(const char* path) {
    gSwapAttempt.ran = true;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    gSwapAttempt.opened = file != INVALID_HANDLE_VALUE;
    gSwapAttempt.openError = gSwapAttempt.opened ? 0 : GetLastError();
    if (gSwapAttempt.opened)
        CloseHandle(file);
    gSwapAttempt.renamed = MoveFileA(path, gRenamedTo.c_str()) != FALSE;
    gSwapAttempt.deleted = !gSwapAttempt.renamed && DeleteFileA(path) != FALSE;
}

}  // namespace

// From the comparison until the loader has mapped it, nobody can write, rename or delete the library: the file that
// runs is the file that was compared.
TEST(ResourceLibrary, ComparedLibraryCannotBeSwappedBeforeItIsLoaded) {
    GameFolder game;
    ASSERT_TRUE(game.copied());
    ASSERT_TRUE(game.Add("a.txt", "hello"));
    gSwapAttempt = SwapAttempt();
    gRenamedTo = game.Folder() + "\\renamed.qvx";
    char status[512] = "";
    size_t boxes = 0;
    const bool called = CallWithLibraryHook(TryToSwap, game.LibraryAsCalled(), status, &boxes);
    ASSERT_TRUE(gSwapAttempt.ran);
    EXPECT_FALSE(gSwapAttempt.opened);
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), gSwapAttempt.openError);
    EXPECT_FALSE(gSwapAttempt.renamed);
    EXPECT_FALSE(gSwapAttempt.deleted);
    EXPECT_TRUE(called);
    EXPECT_TRUE(Exists(game.Pack("resource.lst")));
    EXPECT_EQ(0u, boxes);
}

namespace {

// A game folder two levels down ("...\qvtest-N\outer\game", the library and one pack file in it) and, beside it, a
// tree of the same shape ("planted\game\SavePatch.qvx") whose library is the planted DLL: what a program of the
// user would put in the place of a folder of the path.
class NestedGame {
  public:
    NestedGame() : package_(FileBytes(BuiltLibrary())) {
        ready_ =
            package_.ready() && CreateDirectoryA(Outer().c_str(), nullptr) &&
            CreateDirectoryA(Game().c_str(), nullptr) && CreateDirectoryA((Game() + "\\quorvan").c_str(), nullptr) &&
            WriteBytes(Game() + "\\quorvan\\a.txt", "hello") &&
            CopyFileA(BuiltLibrary().c_str(), Library().c_str(), FALSE) &&
            CreateDirectoryA(Planted().c_str(), nullptr) && CreateDirectoryA((Planted() + "\\game").c_str(), nullptr) &&
            CopyFileA(WinePathOf(QV_PLANTED_DLL).c_str(), (Planted() + "\\game\\SavePatch.qvx").c_str(), FALSE);
    }
    // Links are removed as links: TempDir's removal would follow them.
    ~NestedGame() { RemoveOnHost(dir_.path()); }
    bool ready() const { return ready_; }
    std::string Outer() const { return dir_.Join("outer"); }
    std::string Game() const { return Outer() + "\\game"; }
    std::string Library() const { return Game() + "\\SavePatch.qvx"; }
    std::string Planted() const { return dir_.Join("planted"); }
    bool PlantedRan() const { return Exists(Planted() + "\\game\\planted-ran.txt"); }
    bool Indexed() const { return Exists(Game() + "\\quorvan\\resource.lst"); }

  private:
    TempDir dir_;
    PackagedLibrary package_;
    bool ready_ = false;
};

// A folder of the library's path renamed away and a link to the planted tree put in its place.
struct FolderSwap {
    std::string folder;
    std::string replacement;
    bool moved = false;
    bool linked = false;
};
FolderSwap gFolderSwap;

void SwapFolderForLink(const char*) {
    gFolderSwap.moved = MoveFileA(gFolderSwap.folder.c_str(), (gFolderSwap.folder + "-moved").c_str()) != FALSE;
    gFolderSwap.linked = gFolderSwap.moved && MakeUnixLink(gFolderSwap.replacement, gFolderSwap.folder);
}

}  // namespace

// The loader finds the library by its path once more. Between the comparison and the load no folder of that path can
// be renamed and replaced by a link to a folder with another DLL: every one is held from the drive's root down.
TEST(ResourceLibrary, NoFolderOfThePathCanBeSwappedForALinkBeforeTheLoad) {
    struct Case {
        const char* what;
        std::string (NestedGame::*folder)() const;
        std::string replacement;  // below the planted tree
    };
    const Case cases[] = {
        {"the game folder", &NestedGame::Game, "\\game"},
        {"the folder above it", &NestedGame::Outer, ""},
    };
    for (const Case& c : cases) {
        NestedGame game;
        ASSERT_TRUE(game.ready()) << c.what;
        gFolderSwap = FolderSwap();
        gFolderSwap.folder = (game.*c.folder)();
        gFolderSwap.replacement = game.Planted() + c.replacement;
        char status[512] = "";
        size_t boxes = 0;
        const bool called = CallWithLibraryHook(SwapFolderForLink, game.Library(), status, &boxes);
        EXPECT_FALSE(gFolderSwap.moved) << c.what;
        EXPECT_FALSE(game.PlantedRan()) << c.what;
        EXPECT_TRUE(called) << c.what;
        EXPECT_TRUE(game.Indexed()) << c.what;
        EXPECT_EQ(0u, boxes) << c.what;

        // Once nothing is held, the same swap succeeds: the test's swap is one that the hold alone prevented.
        SwapFolderForLink(nullptr);
        EXPECT_TRUE(gFolderSwap.moved && gFolderSwap.linked) << c.what;
        EXPECT_TRUE(Exists(game.Library())) << c.what;  // now the planted one, through the link
    }
}

// A path that already leads through a link, or that does not name a file on a drive of this machine, is never loaded,
// even when the bytes at its end are the package's: one box names the path.
TEST(ResourceLibrary, PathsThroughALinkOrNotOnADriveAreNeverLoaded) {
    NestedGame game;
    ASSERT_TRUE(game.ready());
    ASSERT_TRUE(MakeUnixLink(game.Game(), game.Outer() + "\\linked"));
    ASSERT_TRUE(MakeUnixLink(game.Library(), game.Game() + "\\Linked.qvx"));
    const std::string onDrive = game.Library();
    struct Case {
        std::string path;
        std::string named;  // the path the box names
    };
    const Case cases[] = {
        {game.Outer() + "\\linked\\SavePatch.qvx", game.Outer() + "\\linked"},  // a folder that is a link
        {game.Game() + "\\Linked.qvx", game.Game() + "\\Linked.qvx"},           // the library is a link
        {game.Game() + "\\..\\game\\SavePatch.qvx", game.Game() + "\\.."},
        {"\\\\?\\" + onDrive, "\\\\?\\" + onDrive},
        {"\\\\.\\" + onDrive, "\\\\.\\" + onDrive},
        {"\\\\localhost\\c$\\SavePatch.qvx", "\\\\localhost\\c$\\SavePatch.qvx"},
        {"//server/share/SavePatch.qvx", "//server/share/SavePatch.qvx"},
    };
    for (const Case& c : cases) {
        MessageRecorder recorder;
        char status[512] = "untouched";
        EXPECT_FALSE(CallResourceInstall(c.path.c_str(), nullptr, status)) << c.path;
        EXPECT_STREQ("untouched", status) << c.path;
        EXPECT_FALSE(game.Indexed()) << c.path;
        const std::vector<RecordedMessage> messages = recorder.Messages();
        ASSERT_EQ(1u, messages.size()) << c.path;
        EXPECT_EQ(std::string(kPathRefusedText) + c.named, messages[0].text) << c.path;
        EXPECT_EQ("错误", messages[0].caption);
    }
    EXPECT_FALSE(game.PlantedRan());
}

// The export returns nothing: the call counts only when the library's last text is its finishing line and the pack
// folder holds a new index. A library that could not write its index (the disk full, the name taken by a folder, no
// pack folder) or that tells a failure in its text is a failure with one box naming it, not a success.
TEST(ResourceLibrary, ResourceInstallThatFailsOrLeavesNoNewIndexIsAFailure) {
    struct Case {
        const char* what;
        void (*spoil)(const NestedGame& game);
    };
    const Case cases[] = {
        {"no pack folder",
         [](const NestedGame& game) {
             DeleteFileA((game.Game() + "\\quorvan\\a.txt").c_str());
             RemoveDirectoryA((game.Game() + "\\quorvan").c_str());
         }},
        {"the index's name taken by a folder",
         [](const NestedGame& game) { CreateDirectoryA((game.Game() + "\\quorvan\\resource.lst").c_str(), nullptr); }},
        // The library indexes the rest and tells the failure in its text: "资源安装失败：以下文件是链接, ...".
        {"a link in the pack folder",
         [](const NestedGame& game) {
             MakeUnixLink(game.Planted() + "\\game\\SavePatch.qvx", game.Game() + "\\quorvan\\linked.bin");
         }},
    };
    for (const Case& c : cases) {
        NestedGame game;
        ASSERT_TRUE(game.ready()) << c.what;
        c.spoil(game);
        MessageRecorder recorder;
        char status[512] = "";
        EXPECT_FALSE(CallResourceInstall(game.Library().c_str(), nullptr, status)) << c.what;
        const std::vector<RecordedMessage> messages = recorder.Messages();
        ASSERT_EQ(1u, messages.size()) << c.what;
        EXPECT_EQ(0u, messages[0].text.find(kUnfinishedText)) << c.what << ": " << messages[0].text;
        EXPECT_NE(std::string::npos, messages[0].text.find(status)) << c.what << ": the library's last text";
        EXPECT_NE(std::string::npos, messages[0].text.find(game.Library())) << c.what;
    }
}
