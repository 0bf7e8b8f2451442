#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/SaveNames.h"
#include "tests/common/MessageRecorder.h"

namespace {

std::string Bytes(const CustomNameText& text) {
    return std::string(text.bytes, kCustomNameTextSize);
}

std::string Bytes(const SaveNameBytes& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.bytes), kSaveNameBytesSize);
}

const std::string kFiller = "\xA1\xA1";

struct NameCase {
    const char* what;
    std::string name1;
    std::string name2;
    NameCheck expected;
};

TEST(CustomNames, ChecksRunLengthsFirstThenCharactersInOrder) {
    const std::vector<NameCase> cases = {
        {"four characters each", "曹操刘备", "关羽张飞", NameCheck::kOk},
        {"both empty", "", "", NameCheck::kOk},
        {"full-width letters and digits", "ＡＢ１２", "ｚ", NameCheck::kOk},
        {"five characters in name 1", "曹操刘备孙", "", NameCheck::kName1TooLong},
        {"five characters in name 2", "", "曹操刘备孙", NameCheck::kName2TooLong},
        {"four characters and a Latin letter: the length, not the character", "曹操刘备a", "",
         NameCheck::kName1TooLong},
        {"a long name 2 wins over a Latin name 1", "abc", "曹操刘备孙", NameCheck::kName2TooLong},
        {"Latin letters in name 1", "Cao", "", NameCheck::kName1NotFullWidth},
        {"Latin letters in name 2", "曹操", "Liu", NameCheck::kName2NotFullWidth},
        {"a Latin letter after a character", "曹a", "", NameCheck::kName1NotFullWidth},
        {"a digit in name 2", "", "1", NameCheck::kName2NotFullWidth},
        {"odd length: a lone lead byte at the end", "曹\xB2", "", NameCheck::kName1NotFullWidth},
        {"a lone lead byte at the end of name 2", "", "\xB2", NameCheck::kName2NotFullWidth},
    };
    for (const NameCase& c : cases) {
        CustomNameText text;
        EXPECT_EQ(c.expected, CheckCustomNames(c.name1, c.name2, &text)) << c.what;
    }
}

TEST(CustomNames, TextBlockHoldsNamesFromTheirFirstPositionAndFillerElsewhere) {
    CustomNameText text;
    ASSERT_EQ(NameCheck::kOk, CheckCustomNames("曹操", "关羽张飞", &text));
    EXPECT_EQ(std::string("曹操") + kFiller + kFiller + "关羽张飞" + std::string(1, '\0'), Bytes(text));

    ASSERT_EQ(NameCheck::kOk, CheckCustomNames("", "", &text));
    std::string empty;
    for (int i = 0; i < 8; ++i)
        empty += kFiller;
    EXPECT_EQ(empty + std::string(1, '\0'), Bytes(text));
}

TEST(CustomNames, FailedCheckLeavesTheTextBlockAsItWas) {
    CustomNameText text;
    ASSERT_EQ(NameCheck::kOk, CheckCustomNames("曹操", "", &text));
    const std::string before = Bytes(text);
    EXPECT_EQ(NameCheck::kName2NotFullWidth, CheckCustomNames("刘备", "x", &text));
    EXPECT_EQ(before, Bytes(text));
}

TEST(CustomNames, EachFailureShowsItsOwnMessageAsAnError) {
    MessageRecorder recorder;
    CustomNameText text;
    EXPECT_FALSE(BuildCustomNameText(nullptr, "曹操刘备孙", "", &text));
    EXPECT_FALSE(BuildCustomNameText(nullptr, "", "曹操刘备孙", &text));
    EXPECT_FALSE(BuildCustomNameText(nullptr, "a", "", &text));
    EXPECT_FALSE(BuildCustomNameText(nullptr, "", "a", &text));
    EXPECT_TRUE(BuildCustomNameText(nullptr, "曹操", "", &text));
    ExpectErrorBoxes(recorder.Messages(),
                     {"自创武将名1必须小于等于4个汉字!", "自创武将名2必须小于等于4个汉字!",
                      "自创武将名1必须是全角汉字!", "自创武将名2必须是全角汉字!"},
                     "错误");
}

TEST(SaveNameBytes, UsedPositionsGetTheirSlotCodeAndFillerGetsZeros) {
    CustomNameText text;
    ASSERT_EQ(NameCheck::kOk, CheckCustomNames("曹操", "关羽张飞", &text));
    EXPECT_EQ(std::string("\x87\x40\x87\x42\0\0\0\0\x87\x49\x87\x4B\x87\x51\x87\x53", 16),
              Bytes(ToSaveNameBytes(text)));

    ASSERT_EQ(NameCheck::kOk, CheckCustomNames("", "", &text));
    EXPECT_EQ(std::string(16, '\0'), Bytes(ToSaveNameBytes(text)));
}

TEST(SaveNameBytes, TypedIdeographicSpaceIsWrittenAsFiller) {
    CustomNameText text;
    ASSERT_EQ(NameCheck::kOk, CheckCustomNames("曹　操", "", &text));  // U+3000 is A1 A1 in GBK
    EXPECT_EQ(std::string("\x87\x40\0\0\x87\x44\0\0", 8), Bytes(ToSaveNameBytes(text)).substr(0, 8));
}

TEST(SaveNameBytes, SlotCodesReadAsTheirGbkText) {
    EXPECT_EQ("嘆嘊嘍嘑嘔嘖嘠嘢", std::string(kCustomNameSlotCodes));
}

// A save file that records what was done to it and fails at one chosen step.
class FakeStream : public SaveStream {
  public:
    explicit FakeStream(int failingStep) : failingStep_(failingStep) {}
    bool Seek(long offset) override { return Step("seek " + std::to_string(offset)); }
    bool Write(const uint8_t* data, size_t size) override {
        return Step("write " + std::string(reinterpret_cast<const char*>(data), size));
    }
    bool Flush() override { return Step("flush"); }
    bool Close() override { return Step("close"); }
    std::vector<std::string> steps;

  private:
    bool Step(const std::string& step) {
        steps.push_back(step);
        return static_cast<int>(steps.size()) != failingStep_;
    }
    int failingStep_;
};

TEST(WriteNameFields, WritesBothFieldsAtTheirOffsetsThenFlushesAndCloses) {
    SaveNameBytes bytes;
    for (size_t i = 0; i < kSaveNameBytesSize; ++i)
        bytes.bytes[i] = static_cast<uint8_t>('a' + i);
    FakeStream stream(0);
    EXPECT_TRUE(WriteNameFields(stream, bytes));
    EXPECT_EQ(
        (std::vector<std::string>{"seek 1724", "write abcdefgh", "seek 1788", "write ijklmnop", "flush", "close"}),
        stream.steps);
}

TEST(WriteNameFields, AnyFailingStepFailsAndTheFileIsStillClosed) {
    SaveNameBytes bytes = {};
    for (int failing = 1; failing <= 6; ++failing) {
        FakeStream stream(failing);
        EXPECT_FALSE(WriteNameFields(stream, bytes)) << "step " << failing;
        ASSERT_FALSE(stream.steps.empty());
        EXPECT_EQ("close", stream.steps.back()) << "step " << failing;
        EXPECT_EQ(failing == 6 ? 6u : static_cast<size_t>(failing) + 1, stream.steps.size()) << "step " << failing;
    }
}

}  // namespace
