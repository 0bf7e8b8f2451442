#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "support/SystemLibrary_win.h"
#include "tests/common/TempDir.h"

// DLLs that are not KnownDLLs come from the system folder only, whatever lies beside the program or in the
// current folder under the same name.
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string SystemFolder() {
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, sizeof folder);
    return folder;
}

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, sizeof path);
    return path;
}

std::string ProgramFolder() {
    const std::string program = ModulePath(nullptr);
    return program.substr(0, program.find_last_of('\\'));
}

std::string PlantedDll() {
    std::string path = std::string("Z:") + QV_PLANTED_DLL;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The planted DLL under one name, beside the test program and in the current folder.
class Planted : public ::testing::Test {
  protected:
    void SetUp() override {
        GetCurrentDirectoryA(sizeof previous_, previous_);
        ASSERT_TRUE(SetCurrentDirectoryA(current_.path().c_str()));
        for (const std::string& folder : {ProgramFolder(), current_.path()}) {
            const std::string path = folder + "\\" + kName;
            ASSERT_TRUE(CopyFileA(PlantedDll().c_str(), path.c_str(), FALSE)) << path;
            planted_.push_back(path);
        }
    }
    void TearDown() override {
        SetCurrentDirectoryA(previous_);
        for (const std::string& path : planted_)
            DeleteFileA(path.c_str());
    }

    static constexpr char kName[] = "qvplanted.dll";
    TempDir current_;
    char previous_[MAX_PATH] = {};
    std::vector<std::string> planted_;
};

TEST_F(Planted, ANameThatIsNotInTheSystemFolderIsNotFoundBesideTheProgramOrInTheCurrentFolder) {
    EXPECT_EQ(nullptr, LoadSystemLibrary(kName));
    EXPECT_EQ(nullptr, SystemLibraryExport(kName, "PlantedAnswer"));
    EXPECT_EQ(nullptr, GetModuleHandleA(kName));
    // The ordinary search would have found it: the plant is real.
    HMODULE found = LoadLibraryA(kName);
    ASSERT_NE(nullptr, found);
    using Answer = int(__cdecl*)();
    EXPECT_EQ(42, reinterpret_cast<Answer>(reinterpret_cast<void*>(GetProcAddress(found, "PlantedAnswer")))());
    FreeLibrary(found);
}

TEST(SystemLibrary, LoadsFromTheSystemFolderAndFindsTheExport) {
    HMODULE module = LoadSystemLibrary("msimg32.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(Lower(SystemFolder() + "\\msimg32.dll"), Lower(ModulePath(module)));
    EXPECT_NE(nullptr, SystemLibraryExport("msimg32.dll", "GradientFill"));
    EXPECT_NE(nullptr, SystemLibraryExport("MSIMG32.DLL", "GradientFill"));
    EXPECT_EQ(nullptr, SystemLibraryExport("msimg32.dll", "NoSuchExport"));
    EXPECT_EQ(nullptr, SystemLibraryExport("no-such-library.dll", "GradientFill"));
}

TEST(SystemLibrary, NamesWithAFolderOrNoNameAreRefused) {
    const std::string full = SystemFolder() + "\\msimg32.dll";
    const char* const names[] = {full.c_str(), "..\\msimg32.dll", "system32/msimg32.dll", "C:msimg32.dll", "", nullptr};
    for (const char* name : names)
        EXPECT_EQ(nullptr, LoadSystemLibrary(name)) << (name ? name : "(null)");
}

}  // namespace
