#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/common/RegistryCleanup_win.h"
#include "tests/common/TempDir.h"
#include "tests/mainwindow/TestPictures_win.h"

// The program itself, started as a process of its own: the whole way from start-up through the message loop to
// the exit code.
namespace {

struct WindowSearch {
    DWORD process;
    const char* className;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM lParam) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (process == search->process && IsWindowVisible(window) && std::string(className) == search->className) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWindow(DWORD process, const char* className, DWORD timeoutMs) {
    WindowSearch search = {process, className, nullptr};
    PumpUntil(
        [&] {
            EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

std::string TextOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

class Program {
  public:
    explicit Program(const std::string& path) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + path + "\"";
        started_ = CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &info_) != 0;
    }
    ~Program() {
        if (!started_)
            return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool started() const { return started_; }
    DWORD id() const { return info_.dwProcessId; }
    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD WaitForExit(DWORD timeoutMs) {
        WaitForSingleObject(info_.hProcess, timeoutMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

  private:
    bool started_ = false;
    PROCESS_INFORMATION info_ = {};
};

TEST(Program, CloseRequestEndsTheProgramWithExitCodeZero) {
#ifndef QV_PACKED_SETUP
    GTEST_SKIP() << "this build packs no program";
#else
    Program program(WinePath(QV_PACKED_SETUP));
    ASSERT_TRUE(program.started());
    HWND window = WaitForWindow(program.id(), "InstallWindowClass", 20000);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ("Install", TextOf(window));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.WaitForExit(10000));
#endif
}

TEST(Program, WithoutItsPackageTheProgramReportsTheMissingLayoutAndEnds) {
#ifndef QV_SETUP_IMAGE
    GTEST_SKIP() << "this build has no program";
#else
    Program program(WinePath(QV_SETUP_IMAGE));  // the linker's image, before the package is appended
    ASSERT_TRUE(program.started());
    HWND box = WaitForWindow(program.id(), "#32770", 20000);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Find file in package error!", TextOf(box));
    EXPECT_EQ("winpos.txt", TextOf(GetDlgItem(box, 0xFFFF)));
    EXPECT_EQ(nullptr, WaitForWindow(program.id(), "InstallWindowClass", 0));  // nothing is shown
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, program.WaitForExit(10000));
#endif
}

// Wine prefers its own DLLs to any of the same name. This per-program override (in the private prefix) makes its
// loader look beside the program first, as Windows does for a static import that is not a KnownDLL.
class NativeFirst {
  public:
    NativeFirst(const char* program, const char* dll) : key_(std::string("Software\\Wine\\AppDefaults\\") + program) {
        HKEY key = nullptr;
        const std::string path = key_ + "\\DllOverrides";
        const char kOrder[] = "native,builtin";
        set_ =
            RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
                ERROR_SUCCESS &&
            RegSetValueExA(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder), sizeof kOrder) == ERROR_SUCCESS;
        if (key)
            RegCloseKey(key);
    }
    ~NativeFirst() { DeleteKeyTree(HKEY_CURRENT_USER, key_.c_str()); }
    bool set() const { return set_; }

  private:
    std::string key_;
    bool set_ = false;
};

// A msimg32.dll that a hostile program left in the download folder, beside the installer, is never loaded: the
// program imports only KnownDLLs and takes msimg32's GradientFill from the system folder.
TEST(Program, MsImg32PlantedBesideTheProgramIsNeverLoaded) {
#if !defined(QV_PACKED_SETUP) || !defined(QV_PLANTED_DLL)
    GTEST_SKIP() << "this build packs no program";
#else
    const char kName[] = "QvPlantedSetup.exe";
    TempDir download;
    const std::string program = download.Join(kName);
    ASSERT_TRUE(CopyFileA(WinePath(QV_PACKED_SETUP).c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(WinePath(QV_PLANTED_DLL).c_str(), download.Join("msimg32.dll").c_str(), FALSE));
    const std::string mark = download.Join("planted-ran.txt");

    NativeFirst override(kName, "msimg32");
    ASSERT_TRUE(override.set());
    Program started(program);
    ASSERT_TRUE(started.started());
    HWND window = WaitForWindow(started.id(), "InstallWindowClass", 20000);
    EXPECT_NE(nullptr, window) << "the program did not start";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(mark.c_str())) << "the planted msimg32.dll ran";
    if (window)
        PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, started.WaitForExit(10000));
#endif
}

// A second copy started while the first runs says so and ends; the first goes on as it was.
TEST(Program, SecondCopyShowsANoteAndEndsWhileTheFirstRuns) {
#ifndef QV_PACKED_SETUP
    GTEST_SKIP() << "this build packs no program";
#else
    Program first(WinePath(QV_PACKED_SETUP));
    ASSERT_TRUE(first.started());
    HWND window = WaitForWindow(first.id(), "InstallWindowClass", 20000);
    ASSERT_NE(nullptr, window);

    Program second(WinePath(QV_PACKED_SETUP));
    ASSERT_TRUE(second.started());
    HWND box = WaitForWindow(second.id(), "#32770", 20000);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("提示", TextOf(box));
    EXPECT_EQ("汉化包安装程序已经在运行!", TextOf(GetDlgItem(box, 0xFFFF)));
    EXPECT_EQ(nullptr, WaitForWindow(second.id(), "InstallWindowClass", 0));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, second.WaitForExit(10000));

    EXPECT_TRUE(IsWindowVisible(window));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, first.WaitForExit(10000));
#endif
}

}  // namespace
