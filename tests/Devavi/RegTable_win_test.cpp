#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Devavi/Win32/InstallKey.h"
#include "Devavi/Win32/RegTable.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TestRegistry_win.h"

namespace {

constexpr char kTestRoot[] = "Software\\QuorvanTests";

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

}  // namespace
