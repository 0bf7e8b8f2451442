#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "mainwindow/Startup_win.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures_win.h"

// What the program does before it shows anything: one copy at a time, and no library from beside the program
// loaded in place of a system one.
namespace {

TEST(SingleInstance, OnlyTheFirstHolderOfTheNameIsFirstUntilItLetsGo) {
    const std::string name = "QuorvanSetup.Test." + std::to_string(GetCurrentProcessId());
    {
        SingleInstance first(name.c_str());
        EXPECT_TRUE(first.first());
        SingleInstance second(name.c_str());
        EXPECT_FALSE(second.first());
    }
    SingleInstance again(name.c_str());
    EXPECT_TRUE(again.first());
}

// The installer's name lives in the machine's global namespace: a copy started in another session (fast user
// switching, a remote desktop) sees it too, so two sessions never install into one game folder at once.
TEST(SingleInstance, TheInstallersNameIsHeldInTheGlobalNamespace) {
    SingleInstance running(kInstanceName);
    ASSERT_TRUE(running.first());
    HANDLE global = OpenMutexA(SYNCHRONIZE, FALSE, "Global\\QuorvanSetup.SingleInstance");
    EXPECT_NE(nullptr, global) << "not in the global namespace";
    if (global)
        CloseHandle(global);
    // A copy in another session asks by the same name and finds it taken.
    SingleInstance other(kInstanceName);
    EXPECT_FALSE(other.first());
}

// Names are GBK and reach the system as their characters: a Chinese name is held under its UTF-16 spelling,
// whatever the system's code page (under 932, an ANSI call would have held it under another name).
TEST(SingleInstance, AChineseNameIsHeldUnderItsCharacters) {
    const std::string id = std::to_string(GetCurrentProcessId());
    const std::string name = "汉化包." + id;
    SingleInstance first(name.c_str());
    EXPECT_TRUE(first.first());
    const std::wstring wide = L"\x6C49\x5316\x5305." + std::wstring(id.begin(), id.end());  // 汉化包.
    HANDLE byCharacters = OpenMutexW(SYNCHRONIZE, FALSE, wide.c_str());
    EXPECT_NE(nullptr, byCharacters);
    if (byCharacters)
        CloseHandle(byCharacters);
    SingleInstance second(name.c_str());
    EXPECT_FALSE(second.first());
}

// The current user's SID as text ("S-1-5-21-..."): the owner that a program without administrator rights gives what
// it makes.
std::wstring UserSid() {
    HANDLE token = nullptr;
    std::wstring text;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return text;
    char buffer[256];
    DWORD size = 0;
    wchar_t* sid = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

// A program without administrator rights that takes the installer's name first, with the security it chooses: its
// mutex is not taken for a running copy, so it cannot keep every install from starting.
TEST(SingleInstance, ANameTakenFirstByAProgramWithoutAdministratorRightsDoesNotBlock) {
    const std::wstring user = UserSid();
    ASSERT_FALSE(user.empty());
    const struct {
        const char* what;
        std::wstring security;
    } cases[] = {
        {"open to all, owned by the user", L"O:" + user + L"D:(A;;GA;;;WD)"},
        {"closed to all, owned by the user", L"O:" + user + L"D:(D;;GA;;;WD)"},
        {"no access list at all", L"O:" + user},
    };
    const std::string name = "QuorvanSetup.Squatted." + std::to_string(GetCurrentProcessId());
    for (const auto& c : cases) {
        PSECURITY_DESCRIPTOR security = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.security.c_str(), SDDL_REVISION_1, &security,
                                                                         nullptr))
            << c.what;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, security, FALSE};
        HANDLE squatter = CreateMutexW(&attributes, FALSE, std::wstring(name.begin(), name.end()).c_str());
        LocalFree(security);
        ASSERT_NE(nullptr, squatter) << c.what;
        {
            SingleInstance installer(name.c_str());
            EXPECT_TRUE(installer.first()) << c.what;
        }
        CloseHandle(squatter);
    }
}

// The installer's own mutex is owned by the Administrators group: what a second copy recognises as a running copy.
TEST(SingleInstance, TheInstallersMutexIsOwnedByTheAdministrators) {
    const std::string name = "QuorvanSetup.Owner." + std::to_string(GetCurrentProcessId());
    SingleInstance running(name.c_str());
    ASSERT_TRUE(running.first());
    HANDLE mutex = OpenMutexA(READ_CONTROL, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    ASSERT_EQ(DWORD(ERROR_SUCCESS), GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                                    nullptr, nullptr, nullptr, &security));
    EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    LocalFree(security);
    CloseHandle(mutex);
    SingleInstance second(name.c_str());
    EXPECT_FALSE(second.first());
}

// From start-up on, the current folder is the system folder: nothing is looked for in the folder the installer was
// started from. The redirection trust policy is asked for where the system has it; without it nothing fails.
TEST(PrepareProcess, TheCurrentFolderBecomesTheSystemFolder) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TempDir start;
            SetCurrentDirectoryA(start.path().c_str());
            const bool prepared = PrepareProcess();
            char current[MAX_PATH] = {};
            char system[MAX_PATH] = {};
            GetCurrentDirectoryA(sizeof current, current);
            GetSystemDirectoryA(system, sizeof system);
            SetCurrentDirectoryA(system);
            std::fprintf(stderr, "%s %s\n", prepared ? "prepared" : "failed",
                         lstrcmpiA(current, system) == 0 ? "system" : current);
            std::fflush(stderr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "prepared system");
}

#ifdef QV_SAVEPATCH_FILE
// A library placed beside the program under a name that it asks for by name alone.
class PlantedLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        char program[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, program, sizeof program);
        path_ = program;
        path_ = path_.substr(0, path_.find_last_of('\\')) + "\\qvplanted.dll";
        ASSERT_TRUE(CopyFileA(WinePath(QV_SAVEPATCH_FILE).c_str(), path_.c_str(), FALSE));
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    void TearDown() override { DeleteFileA(path_.c_str()); }

    std::string path_;
};

void Report(const char* what, bool loaded) {
    std::fprintf(stderr, "%s %s\n", what, loaded ? "loaded" : "refused");
    std::fflush(stderr);
    std::exit(0);
}

TEST_F(PlantedLibrary, IsFoundByNameOnlyWhileTheSearchIsNotRestricted) {
    EXPECT_EXIT(Report("by name", LoadLibraryA("qvplanted.dll") != nullptr), ::testing::ExitedWithCode(0),
                "by name loaded");
}

TEST_F(PlantedLibrary, IsNotFoundByNameOnceTheSearchIsRestrictedButLoadsByItsFullPath) {
    EXPECT_EXIT(
        {
            if (!RestrictLibrarySearch())
                Report("restriction", false);
            if (LoadLibraryA("qvplanted.dll"))
                Report("by name", true);
            // As the helper library is loaded: by its full path, its own dependencies looked for beside it.
            Report("by full path", LoadLibraryExA(path_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH) != nullptr);
        },
        ::testing::ExitedWithCode(0), "by full path loaded");
}
#endif

}  // namespace
