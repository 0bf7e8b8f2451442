#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "installer/Dependencies_win.h"
#include "installer/ResourceLibrary.h"
#include "package/Extract.h"
#include "package/Package.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TempDir.h"
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

std::string FileBytes(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadBytes(path, &bytes)) << path;
    return bytes;
}

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

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
    InstallerDependencies dependencies;
    dependencies.libraryChecked = TryToSwap;
    SetInstallerDependencies(dependencies);
    MessageRecorder recorder;
    char status[512] = "";
    const bool called = CallResourceInstall(game.LibraryAsCalled().c_str(), nullptr, status);
    SetInstallerDependencies(InstallerDependencies());
    ASSERT_TRUE(gSwapAttempt.ran);
    EXPECT_FALSE(gSwapAttempt.opened);
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), gSwapAttempt.openError);
    EXPECT_FALSE(gSwapAttempt.renamed);
    EXPECT_FALSE(gSwapAttempt.deleted);
    EXPECT_TRUE(called);
    EXPECT_TRUE(Exists(game.Pack("resource.lst")));
    EXPECT_TRUE(recorder.Messages().empty());
}
