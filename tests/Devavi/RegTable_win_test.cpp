#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Devavi/Win32/RegTable.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TestRegistry_win.h"

namespace {

constexpr char kTestRoot[] = "Software\\QuorvanTests";
constexpr char kQuorvanInfoValue[] = "QuorvanInfo";  // a value name as the installer's mark uses it

// Each test works below a key of its own under HKCU\Software\QuorvanTests and removes it afterwards.
class RegTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        key_ = std::string(kTestRoot) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        DeleteKeyTree(HKEY_CURRENT_USER, key_);
    }
    void TearDown() override {
        DeleteKeyTree(HKEY_CURRENT_USER, key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestRoot);  // fails while another test still has its key there
    }

    void Store(const char* name, DWORD type, const std::string& data) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                                static_cast<DWORD>(data.size())));
        RegCloseKey(key);
    }

    bool Read(const char* name, std::string& value) {
        return RegReadString(HKEY_CURRENT_USER, key_.c_str(), name, value);
    }

    // A REG_SZ as any program writes it through the W functions (the registry holds UTF-16 either way).
    void StoreText(const wchar_t* name, const std::wstring& text) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, Key().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                                DWORD((text.size() + 1) * sizeof(wchar_t))));
        RegCloseKey(key);
    }

    // The value as the registry holds it: its type and its UTF-16 data, terminator included; false when missing.
    bool StoredText(const wchar_t* name, DWORD* type, std::wstring* data) {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Key().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        wchar_t buffer[2048];
        DWORD size = sizeof buffer;
        const bool found =
            RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        if (found)
            data->assign(buffer, size / sizeof(wchar_t));
        return found;
    }

    // The test's key path (ASCII) for the W functions.
    std::wstring Key() const { return std::wstring(key_.begin(), key_.end()); }

    std::string key_;
};

TEST_F(RegTableTest, WriteCreatesTheKeyAndReadsBack) {
    MessageRecorder recorder;
    const std::string folder = "D:\\游戏\\真三国无双3";
    RegWriteString(HKEY_CURRENT_USER, (key_ + "\\Deeper\\Install").c_str(), "Folder", folder.c_str());
    EXPECT_TRUE(recorder.Messages().empty());

    std::string value;
    ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, (key_ + "\\Deeper\\Install").c_str(), "Folder", value));
    EXPECT_EQ(folder, value);
}

TEST_F(RegTableTest, EmptyInstallMarkCountsAsInstalled) {
    // Under the test key rather than the game's: other tests of the same prefix read the real install mark.
    MessageRecorder recorder;
    RegWriteString(HKEY_CURRENT_USER, key_.c_str(), kQuorvanInfoValue, "");
    EXPECT_TRUE(recorder.Messages().empty());

    std::string value = "unchanged";
    EXPECT_TRUE(Read(kQuorvanInfoValue, value));
    EXPECT_EQ("", value);
}

TEST_F(RegTableTest, OnlyRegSzCountsAsPresent) {
    Store("Expand", REG_EXPAND_SZ, std::string("C:\\Games", 9));
    Store("Binary", REG_BINARY, std::string("C:\\Games", 9));
    std::string value = "unchanged";
    EXPECT_FALSE(Read("Expand", value));
    EXPECT_FALSE(Read("Binary", value));
    EXPECT_FALSE(Read("Missing", value));
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, (key_ + "\\NoSuchKey").c_str(), "Expand", value));
    EXPECT_EQ("unchanged", value);
}

TEST_F(RegTableTest, DataOf1000BytesOrMoreCountsAsAbsent) {
    const std::string text998(998, 'p');
    Store("Fits", REG_SZ, text998 + '\0');                     // 999 bytes with the terminator
    Store("TooLong", REG_SZ, std::string(999, 'p') + '\0');    // 1000 bytes
    Store("Overflow", REG_SZ, std::string(2000, 'p') + '\0');  // more than the read buffer
    std::string value;
    ASSERT_TRUE(Read("Fits", value));
    EXPECT_EQ(text998, value);
    value = "unchanged";
    EXPECT_FALSE(Read("TooLong", value));
    EXPECT_FALSE(Read("Overflow", value));
    EXPECT_EQ("unchanged", value);
}

TEST_F(RegTableTest, DataWithoutTerminatorReadsWhole) {
    Store("Bare", REG_SZ, "C:\\Game");
    Store("Inner", REG_SZ, std::string("C:\\A\0B", 7));
    std::string value;
    ASSERT_TRUE(Read("Bare", value));
    EXPECT_EQ("C:\\Game", value);
    ASSERT_TRUE(Read("Inner", value));
    EXPECT_EQ("C:\\A", value);
}

TEST_F(RegTableTest, KeyThatCannotBeCreatedShowsBothReportsAndWritesNothing) {
    // Below a volatile key only volatile keys can be made, so the non-volatile create fails.
    HKEY volatileKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (key_ + "\\Volatile").c_str(), 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
    RegCloseKey(volatileKey);

    MessageRecorder recorder;
    const std::string target = key_ + "\\Volatile\\Install";
    RegWriteString(HKEY_CURRENT_USER, target.c_str(), kQuorvanInfoValue, "D:\\Game");

    const std::vector<RecordedMessage> messages = recorder.Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("49", messages[0].caption);
    EXPECT_EQ("50", messages[1].caption);
    for (const RecordedMessage& message : messages) {
        EXPECT_EQ(kRegCheckText, message.text);
        EXPECT_EQ("REGCHECK Failed! in E:\\TarmProject\\Devavi\\Win32\\RegTable", message.text);
        EXPECT_FALSE(message.hasOwner);
        EXPECT_EQ(unsigned(kMbOk), message.style);
    }
    std::string value;
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, target.c_str(), kQuorvanInfoValue, value));
}

// Whatever the system's code page, a REG_SZ reads as the GBK spelling of its characters; one with a character that
// GBK cannot spell is refused, never read as look-alikes or "?", and told apart from an absent value.
TEST_F(RegTableTest, Utf16TextReadsAsGbkOrIsRefused) {
    struct Case {
        const char* name;
        const wchar_t* stored;
        RegRead read;
        std::string gbk;  // what a read gives
    };
    const Case cases[] = {
        {"Hanzi", L"D:\\\x6E38\x620F\\\x771F\x4E09\x56FD", RegRead::kRead, "D:\\游戏\\真三国"},
        {"TrailBackslash", L"C:\\\x6DFA", RegRead::kRead, "C:\\\x9C\x5C"},  // 淺, whose second GBK byte is "\"
        {"Pinyin", L"D:\\l\x00FC", RegRead::kRead, "D:\\l\xA8\xB9"},        // ü, a letter 936 has and 932 lacks
        {"Hangul", L"D:\\\xAC8C\xC784", RegRead::kNotGbk, ""},              // 게임
        {"Emoji", L"D:\\\xD83D\xDE00", RegRead::kNotGbk, ""},
        {"BestFitLetter", L"D:\\\x00C5", RegRead::kNotGbk, ""},  // Å, which best fit would read as "A"
    };
    for (const Case& c : cases) {
        const std::wstring name(c.name, c.name + std::strlen(c.name));
        StoreText(name.c_str(), c.stored);
        std::string value = "unchanged";
        std::wstring given = L"untouched";
        EXPECT_EQ(c.read, RegReadGbkString(HKEY_CURRENT_USER, key_.c_str(), c.name, value, &given)) << c.name;
        EXPECT_EQ(c.read == RegRead::kRead ? c.gbk : std::string("unchanged"), value) << c.name;
        EXPECT_EQ(c.read == RegRead::kNotGbk ? std::wstring(c.stored) : std::wstring(L"untouched"), given) << c.name;
        value = "unchanged";
        EXPECT_EQ(c.read == RegRead::kRead, Read(c.name, value)) << c.name;
        EXPECT_EQ(c.read == RegRead::kRead ? c.gbk : std::string("unchanged"), value) << c.name;
    }
    std::string value;
    EXPECT_EQ(RegRead::kAbsent, RegReadGbkString(HKEY_CURRENT_USER, key_.c_str(), "Missing", value));
}

// The limit counts the text's GBK bytes: 499 hanzi are 998 bytes (999 with the terminator), though 1000 in UTF-16.
TEST_F(RegTableTest, LengthLimitCountsGbkBytes) {
    StoreText(L"Fits", std::wstring(499, L'\x6E38'));
    StoreText(L"TooLong", std::wstring(500, L'\x6E38'));
    std::string expected;
    for (int i = 0; i < 499; ++i)
        expected += "游";
    std::string value;
    ASSERT_TRUE(Read("Fits", value));
    EXPECT_EQ(expected, value);
    value = "unchanged";
    EXPECT_FALSE(Read("TooLong", value));
    EXPECT_EQ("unchanged", value);
}

// The mark is a REG_SZ of the folder's characters, as an earlier release's reads, whatever the code page.
TEST_F(RegTableTest, WriteStoresTheTextAsUtf16) {
    MessageRecorder recorder;
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, key_.c_str(), kQuorvanInfoValue, "D:\\游戏\\\x9C\x5C"));
    EXPECT_TRUE(recorder.Messages().empty());
    DWORD type = REG_NONE;
    std::wstring data;
    ASSERT_TRUE(StoredText(L"QuorvanInfo", &type, &data));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(std::wstring(L"D:\\\x6E38\x620F\\\x6DFA", 8), data);
}

// A text that is not GBK is never stored as other characters: the set-value box, and no value.
TEST_F(RegTableTest, TextThatIsNotGbkIsRefusedWithTheSetValueBox) {
    const std::string cases[] = {std::string("D:\\\xB0", 4), std::string("\x81\x7F", 2), std::string("\xFF", 1)};
    for (const std::string& text : cases) {
        MessageRecorder recorder;
        EXPECT_FALSE(RegWriteString(HKEY_CURRENT_USER, key_.c_str(), "Folder", text.c_str()));
        const std::vector<RecordedMessage> messages = recorder.Messages();
        ASSERT_EQ(1u, messages.size()) << testing::PrintToString(text);
        EXPECT_EQ(kRegCheckText, messages[0].text);
        EXPECT_EQ("50", messages[0].caption);
        DWORD type = REG_NONE;
        std::wstring data;
        EXPECT_FALSE(StoredText(L"Folder", &type, &data)) << testing::PrintToString(text);
    }
}

}  // namespace
