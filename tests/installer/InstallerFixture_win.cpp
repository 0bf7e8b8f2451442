#include "tests/installer/InstallerFixture_win.h"

#include <algorithm>
#include <functional>
#include <cstring>

#include "installer/CommandDispatch_win.h"
#include "installer/FileWrite_win.h"
#include "installer/InstallMark_win.h"
#include "installer/ResourceLibrary_win.h"
#include "installer/UninstallFlow_win.h"
#include "mainwindow/MainWindow_win.h"
#include "package/Package.h"
#include "settings/SettingsDialog_win.h"
#include "support/SystemText_win.h"
#include "tests/common/HostLinks_win.h"
#include "tests/common/TestPictures_win.h"
#include "tests/common/TestRegistry_win.h"
#include "tests/installer/WideFiles_win.h"

const char kStandardLayout[] =
    "# installer tests\r\n"
    "text, 10, 10, 90, 30, \"percent\", \"\"\r\n"
    "install, 10, 40, 90, 60, \"\", \"\"\r\n"
    "uninstall, 10, 70, 90, 90, \"\", \"\"\r\n"
    "setting, 100, 10, 180, 30, \"\", \"\"\r\n"
    "close, 100, 40, 180, 60, \"\", \"\"\r\n"
    "text, 100, 70, 180, 90, \"label\", \"\"\r\n";

SeamAnswers gSeams;

namespace {

constexpr char kVendorKey[] = "Software\\KOEI";

// The build's SavePatch.qvx as Wine sees it: drive Z: is the Linux root.
std::string LibraryBytes() {
    std::string path = std::string("Z:") + QV_SAVEPATCH_FILE;
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string bytes;
    EXPECT_TRUE(ReadBytes(path, &bytes)) << path;
    return bytes;
}

// The install key as it was before the test: restored afterwards, whatever the test did to it, byte for byte.
struct SavedValue {
    std::wstring name;
    DWORD type;
    std::string data;
};
bool gVendorKeyExisted = false;
bool gInstallKeyExisted = false;
std::vector<SavedValue> gSavedValues;

void SaveInstallKey() {
    gSavedValues.clear();
    HKEY key;
    gVendorKeyExisted =
        RegOpenKeyExW(HKEY_CURRENT_USER, WideOf(kVendorKey).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (gVendorKeyExisted)
        RegCloseKey(key);
    gInstallKeyExisted =
        RegOpenKeyExW(HKEY_CURRENT_USER, WideOf(kInstallKeyPath).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (!gInstallKeyExisted)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        char data[4096];
        DWORD nameLength = 256, dataLength = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataLength) !=
            ERROR_SUCCESS)
            break;
        gSavedValues.push_back({std::wstring(name, nameLength), type, std::string(data, dataLength)});
    }
    RegCloseKey(key);
}

void RestoreInstallKey() {
    DeleteKeyTree(HKEY_CURRENT_USER, kInstallKeyPath);
    if (!gVendorKeyExisted)
        DeleteKeyTree(HKEY_CURRENT_USER, kVendorKey);
    if (!gInstallKeyExisted)
        return;
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, WideOf(kInstallKeyPath).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const SavedValue& value : gSavedValues)
        RegSetValueExW(key, value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                       DWORD(value.data.size()));
    RegCloseKey(key);
}

bool FakeFreeSpace(const char* drive, uint64_t* bytesAvailable) {
    gSeams.drives.push_back(drive);
    *bytesAvailable = gSeams.freeBytes;
    return gSeams.freeSpaceKnown;
}

bool FakeChooser(HWND owner, std::string& path, const char* filter) {
    std::string pairs;
    for (const char* part = filter; part && *part; part += std::strlen(part) + 1)
        pairs += std::string(part) + "|";
    gSeams.chooserCalls.push_back({owner, path, pairs});
    path = gSeams.chooserAnswers ? gSeams.chosenPath : std::string();
    return gSeams.chooserAnswers;
}

COLORREF Grey(int x, int y) {
    return RGB(x, y, 128);
}

}  // namespace

void TestPack::Remove(const std::string& name) {
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [&](const TestRecord& record) { return record.recordSpec.name == name; }),
                  records.end());
}

const std::string& TestPack::Bytes(const std::string& name) const {
    static const std::string kNone = "<not in the pack>";
    for (const TestRecord& record : records) {
        if (record.recordSpec.name == name)
            return record.bytes;
    }
    return kNone;
}

void BreakDigest(TestPack& pack, const std::string& name) {
    for (TestRecord& record : pack.records) {
        if (record.recordSpec.name == name)
            record.recordSpec.upperCaseDigest = true;
    }
}

void BreakBody(TestPack& pack, const std::string& name, uint32_t originalSize) {
    for (TestRecord& record : pack.records) {
        if (record.recordSpec.name == name) {
            record.stored = true;
            record.storedBody = "not a compressed stream";
            record.storedOriginalSize = originalSize ? originalSize : uint32_t(record.bytes.size());
        }
    }
}

TestPack StandardPack(const char* layout) {
    TestPack pack;
    auto add = [&pack](const std::string& name, const std::string& bytes) {
        pack.records.push_back(MakeRecord(name, bytes));
    };
    add("winpos.txt", layout);
    add("quorvan\\readme.txt", TextLikeBytes(3000, 1));
    add("quorvan\\Data\\Sub\\File.BIN", RandomBytes(5000, 2));
    add("quorvan\\字体\\淺.txt", "a folder and a file with GBK names; the second ends in the byte 0x5C");
    add("quorvan\\empty.dat", "");
    add("quorvan\\data\\common\\japanese\\high\\font00a.png", "replaced by the copy table");
    for (size_t i = 0; i < std::size(kCopyTable); ++i)
        add(kCopyTable[i].entry, "row " + std::to_string(i + 1) + RandomBytes(200 + i, uint32_t(100 + i)));
    add("SM3Config.qvx", "the localised configuration program");
    add("SavePatch.qvx", LibraryBytes());
    add("SM3Config.org", kOriginalConfig);
    add("psrpc.org", kOriginalLibrary);
    add("loading_org\\loadscreen.png", kOriginalLoadScreen);
    add("other\\note.txt", "not for the game folder");
    return pack;
}

void InstallerTest::SetUp() {
    SaveInstallKey();
    DeleteKeyTree(HKEY_CURRENT_USER, kInstallKeyPath);
    gSeams = SeamAnswers();
    gSeams.freeBytes = uint64_t(1) << 30;
    InstallerDependencies dependencies;
    dependencies.freeSpace = FakeFreeSpace;
    dependencies.choosePath = FakeChooser;
    dependencies.openSettings = ShowSettingsDialog;
    SetInstallerDependencies(dependencies);

    game_ = dir_.Join("game");
    MakeGame(game_);
    SetValue(kInstallInfoValue, game_);
}

void InstallerTest::TearDown() {
    // A worker left running would write into the next test's state.
    PumpUntil([] { return !gInstallWorker.IsBusy(); }, 30000);
    DestroyMainWindow();
    MSG quit;
    while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    gPackageIndex.clear();
    gInstallerState = InstallerState();
    SetInstallerDependencies(InstallerDependencies());
    RestoreInstallKey();
    RemoveTree(dir_.path());
    // What Wine cannot remove (a link of the machine it runs on, and the folders around it) goes from outside; rm
    // does not follow links.
    if (Exists(dir_.path())) {
        const size_t cut = dir_.path().find_last_of('\\');
        RunUnix("/bin/rm -rf " + dir_.path().substr(cut + 1), dir_.path().substr(0, cut),
                [this] { return !Exists(dir_.path()); });
    }
}

void InstallerTest::Open(const TestPack& pack) {
    const std::string package = dir_.Join("setup.pak");
    ASSERT_TRUE(WriteTestPackage(package, pack.records));
    gPackageIndex.clear();
    ASSERT_EQ(IndexStatus::kOk, IndexPackageFile(package.c_str(), gPackageIndex).status);
    gSkinImages.instance = GetModuleHandleA(nullptr);
    SetMainWindowHandlers(InstallerWindowHandlers());
    CreateMainWindowWithImages(MakePicture(200, 100, Grey), MakePicture(200, 100, Grey));
    PumpFor(50);
}

HWND InstallerTest::Main() const {
    return gSkinImages.mainWindow;
}

LayoutRecord& InstallerTest::Control(const char* command, const char* firstArgument) {
    for (LayoutRecord& record : gSkinLayout) {
        if (record.command == command && (!firstArgument || record.firstArgument == firstArgument))
            return record;
    }
    ADD_FAILURE() << "no control " << command;
    static LayoutRecord none;
    return none;
}

bool InstallerTest::Shown(const char* command) {
    return (GetWindowLongPtrA(Control(command).window, GWL_STYLE) & WS_VISIBLE) != 0;
}

void InstallerTest::Press(const char* command) {
    PressCommand(command);
}

void PressCommand(const char* command) {
    for (size_t i = 0; i < gSkinLayout.size(); ++i) {
        if (gSkinLayout[i].command == command) {
            SendMessageA(gSkinImages.mainWindow, WM_COMMAND, WPARAM(kFirstControlId + i),
                         reinterpret_cast<LPARAM>(gSkinLayout[i].window));
            return;
        }
    }
    ADD_FAILURE() << "no control " << command;
}

bool InstallerTest::WaitForInstall() {
    return PumpUntil([] { return !gInstallerState.extracting && !gInstallWorker.IsBusy(); }, 30000);
}

void InstallerTest::UninstallExpectingDone() {
    recorder_.Clear();
    Press("uninstall");
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("卸载完成!", boxes[1].text);
}

void InstallerTest::MakeGame(const std::string& folder) {
    game_ = folder;
    for (const char* sub : {"", "\\media", "\\media\\data", "\\media\\data\\etc", "\\media\\data\\etc\\japanese"})
        MakeFolder(folder + sub);
    ASSERT_TRUE(WriteFileBytes(folder + "\\" + kGameExecutableName, "the game")) << folder;
    ASSERT_TRUE(WriteFileBytes(folder + "\\psrpc.dll", kOriginalLibrary));
    ASSERT_TRUE(WriteFileBytes(folder + "\\SM3Config.exe", kOriginalConfig));
    ASSERT_TRUE(WriteFileBytes(folder + "\\media\\data\\etc\\japanese\\loadscreen.png", kOriginalLoadScreen));
}

void InstallerTest::ExpectGameFiles(const char* config, const char* library, const char* loadScreen) {
    EXPECT_EQ(config, FileBytes(Game("\\SM3Config.exe")));
    EXPECT_EQ(library, FileBytes(Game("\\psrpc.dll")));
    EXPECT_EQ(loadScreen, FileBytes(Game("\\media\\data\\etc\\japanese\\loadscreen.png")));
}

std::string InstallerTest::Mark() {
    std::string value;
    return ReadValue(kQuorvanInfoValue, &value) ? value : std::string("<none>");
}

bool InstallerTest::Marked() {
    std::string value;
    return ReadValue(kQuorvanInfoValue, &value);
}

void InstallerTest::SetValue(const char* name, const std::string& value) {
    ASSERT_TRUE(value.empty() || !WideOf(value).empty()) << "not GBK: " << value;
    ASSERT_TRUE(SetInstallText(name, WideOf(value)));
}

bool InstallerTest::ReadValue(const char* name, std::string* value) {
    std::wstring text;
    if (!ReadInstallText(name, &text))
        return false;
    *value = GbkOf(text);
    return true;
}

void InstallerTest::DeleteValue(const char* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, WideOf(kInstallKeyPath).c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, WideOf(name).c_str());
    RegCloseKey(key);
}

std::string ExpectFailureBox(const RecordedMessage& box,
                             const std::string& heading,
                             const std::vector<std::string>& items) {
    static const char kLogLine[] = "\r\n完整列表: ";
    EXPECT_EQ("提示", box.caption);
    EXPECT_EQ(unsigned(kMbOk | kMbIconWarning), box.style);
    EXPECT_TRUE(box.hasOwner);
    EXPECT_EQ(heading + "\r\n", box.text.substr(0, heading.size() + 2)) << box.text;
    const size_t logAt = box.text.find(kLogLine);
    EXPECT_NE(std::string::npos, logAt) << box.text;
    if (logAt == std::string::npos)
        return std::string();
    size_t logEnd = box.text.find("\r\n", logAt + 2);
    const std::string log =
        box.text.substr(logAt + sizeof kLogLine - 1,
                        logEnd == std::string::npos ? std::string::npos : logEnd - logAt - sizeof kLogLine + 1);
    const std::string logText = FileBytes(log);
    for (const std::string& item : items) {
        EXPECT_NE(std::string::npos, box.text.find("\r\n    " + item + "\r\n")) << item << " in " << box.text;
        EXPECT_NE(std::string::npos, logText.find("\r\n" + item + "\r\n")) << item << " in " << logText;
    }
    return log;
}

void ExpectBox(const RecordedMessage& box, const char* text, const char* caption, unsigned style, bool owned) {
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(caption, box.caption);
    EXPECT_EQ(style, box.style);
    EXPECT_EQ(owned, box.hasOwner);
}

bool SetInstallKeyAccess(DWORD access) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstallKeyPath, 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    alignas(8) char aclBuffer[256];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, access, everyone);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    const LONG result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
    FreeSid(everyone);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool RunUnix(const std::string& commandLine, const std::string& folder, const std::function<bool()>& done) {
    std::wstring line;
    if (!WideFromGbk(commandLine, &line) || line.empty()) {
        ADD_FAILURE() << "cannot spell the command line for the machine: " << commandLine;
        return false;
    }
    return RunOnHostWide(line, done, folder);
}

bool IsLinkAt(const std::string& path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

namespace {

void RemoveWideLink(const std::wstring& path) {
    if (RemoveDirectoryW(path.c_str()) || DeleteFileW(path.c_str()))
        return;
    const std::string shown = GbkOf(path);
    const size_t cut = shown.find_last_of('\\');
    RunUnix("/bin/rm -f " + shown.substr(cut + 1), shown.substr(0, cut),
            [&] { return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

void RemoveWideTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                RemoveWideLink(path);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveWideTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

void RemoveLink(const std::string& path) {
    RemoveWideLink(WideOf(path));
}

// TempDir's own removal reads names in the system's code page; the tests make GBK names and names GBK cannot spell.
void RemoveTree(const std::string& folder) {
    RemoveWideTree(WideOf(folder));
}
