#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/LayoutFile.h"

namespace {

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

std::vector<LayoutEntry> Parse(const std::string& text) {
    return ParseLayout(Bytes(text), text.size());
}

std::vector<std::string> Tokens(const std::string& text) {
    TextTokenizer tokenizer(Bytes(text), text.size());
    std::vector<std::string> tokens;
    while (const char* token = tokenizer.NextToken())
        tokens.push_back(token);
    return tokens;
}

TEST(TextTokenizer, DefaultDelimitersAreWhiteSpaceOnly) {
    EXPECT_EQ((std::vector<std::string>{"a,b", "c"}), Tokens(" a,b\t\r\n c \r\n"));
    EXPECT_TRUE(Tokens("").empty());
    EXPECT_TRUE(Tokens(" \r\n\t").empty());
}

TEST(TextTokenizer, CommentStartsOnlyAtTheFileStartOrAfterALineFeed) {
    EXPECT_EQ((std::vector<std::string>{"b#c", "#e", "d"}), Tokens("#a x\nb#c #e\n#f\nd"));
    EXPECT_TRUE(Tokens("#only a comment").empty());
    // After a CR alone the '#' is an ordinary byte.
    EXPECT_EQ((std::vector<std::string>{"#x"}), Tokens("\r#x"));
}

TEST(TextTokenizer, QuotedTextTakesAnyQuoteByteAndNoEscapes) {
    const std::string text = "  \"a, b #c\" 'x\"y'\"\"\"tail";
    TextTokenizer tokenizer(Bytes(text), text.size());
    EXPECT_STREQ("a, b #c", tokenizer.QuotedText());
    EXPECT_STREQ("x\"y", tokenizer.QuotedText());
    EXPECT_STREQ("", tokenizer.QuotedText());
    EXPECT_STREQ("tail", tokenizer.QuotedText());  // no closing quote: runs to the end
    EXPECT_EQ(nullptr, tokenizer.QuotedText());
}

TEST(TextTokenizer, QuotedTextDoesNotLookForComments) {
    const std::string text = "\n#\"not a comment\"";
    TextTokenizer tokenizer(Bytes(text), text.size());
    EXPECT_STREQ("\"not a comment\"", tokenizer.QuotedText());  // '#' is the quote byte here
}

TEST(TextTokenizer, LongTokensAndTextsAreCutAt511Bytes) {
    const std::string longWord(600, 'w');
    const std::string text = longWord + " next \"" + std::string(700, 'q') + "\" after";
    TextTokenizer tokenizer(Bytes(text), text.size());
    EXPECT_EQ(std::string(511, 'w'), tokenizer.NextToken());
    EXPECT_STREQ("next", tokenizer.NextToken());
    EXPECT_EQ(std::string(511, 'q'), tokenizer.QuotedText());
    EXPECT_STREQ("after", tokenizer.NextToken());
}

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutRescanningInsertedText) {
    std::string text = "a\\r\\nb\\r\\n";
    ReplaceAll(text, "\\r\\n", "\n");
    EXPECT_EQ("a\nb\n", text);

    std::string grow = "xx";
    ReplaceAll(grow, "x", "xx");
    EXPECT_EQ("xxxx", grow);

    std::string unchanged = "abc";
    ReplaceAll(unchanged, "", "z");
    EXPECT_EQ("abc", unchanged);
}

TEST(LayoutNumber, ReadsLikeAtoiWithoutOverflow) {
    struct Case {
        const char* token;
        int32_t value;
    };
    const Case cases[] = {{"261", 261},
                          {"-5", -5},
                          {"+7", 7},
                          {"12px", 12},
                          {"px", 0},
                          {"", 0},
                          {"-", 0},
                          {"\v 3", 3},
                          {"2147483647", 2147483647},
                          {"99999999999", 2147483647},
                          {"-2147483648", -2147483647 - 1},
                          {"-99999999999", -2147483647 - 1}};
    for (const Case& c : cases)
        EXPECT_EQ(c.value, LayoutNumber(c.token)) << c.token;
}

TEST(ParseLayout, ReadsTheShippedRecordShape) {
    const std::string text =
        "# skin layout\r\n\r\n"
        "install, 261, 85, 347, 125, \"\", \"\"\r\n"
        "text, 195, 108, 261, 125, \"percent\", \"\"\r\n";
    std::vector<LayoutEntry> entries = Parse(text);
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("install", entries[0].command);
    EXPECT_EQ(261, entries[0].left);
    EXPECT_EQ(85, entries[0].top);
    EXPECT_EQ(347, entries[0].right);
    EXPECT_EQ(125, entries[0].bottom);
    EXPECT_EQ("", entries[0].firstArgument);
    EXPECT_EQ("", entries[0].secondArgument);
    EXPECT_EQ("text", entries[1].command);
    EXPECT_EQ("percent", entries[1].firstArgument);
}

TEST(ParseLayout, SeparatorsAndLineBreaksDoNotMatter) {
    const std::string forms[] = {
        "close,1,2,3,4,\"a b\",\"c\"",
        "close 1 2 3 4 \"a b\" \"c\"",
        "close , 1 ,2, 3 ,  4,\t\"a b\" , \"c\"",
        "close,\r\n1,\r\n\r\n2,3,\r\n4,\r\n\"a b\",\r\n\"c\"\r\n",
    };
    for (const std::string& form : forms) {
        std::vector<LayoutEntry> entries = Parse(form);
        ASSERT_EQ(1u, entries.size()) << form;
        EXPECT_EQ("close", entries[0].command);
        EXPECT_EQ(1, entries[0].left);
        EXPECT_EQ(4, entries[0].bottom);
        EXPECT_EQ("a b", entries[0].firstArgument);
        EXPECT_EQ("c", entries[0].secondArgument);
    }
    // Two records may share a line.
    EXPECT_EQ(2u, Parse("a 1 2 3 4 \"\" \"\" b 5 6 7 8 \"\" \"\"").size());
}

TEST(ParseLayout, CommentedRecordIsSkipped) {
    std::vector<LayoutEntry> entries = Parse(
        "close, 1, 2, 3, 4, \"\", \"\"\r\n"
        "#minimize, 0, 0, 0, 0, \"\", \"\"\r\n"
        "setting, 5, 6, 7, 8, \"\", \"\"\r\n");
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("close", entries[0].command);
    EXPECT_EQ("setting", entries[1].command);
}

TEST(ParseLayout, TextsKeepCommasAndGbkAndTurnWrittenLineBreaksIntoLineFeeds) {
    // "制作: 某人" in GBK: its trail bytes must survive untouched.
    const std::string gbk = "\xD6\xC6\xD7\xF7: \xC4\xB3\xC8\xCB";
    const std::string text = "msgbox,0,0,10,10,\"one, two\\r\\n" + gbk + "\",\"" + gbk + "\"\r\n";
    std::vector<LayoutEntry> entries = Parse(text);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("one, two\n" + gbk, entries[0].firstArgument);
    EXPECT_EQ(gbk, entries[0].secondArgument);
}

TEST(ParseLayout, RecordCutShortByTheEndIsDropped) {
    const std::string whole = "close 1 2 3 4 \"a\" \"b\"\r\n";
    const std::string cuts[] = {"setting", "setting 1 2 3", "setting 1 2 3 4", "setting 1 2 3 4 \"x\"",
                                "setting 1 2 3 4 \"x\" \r\n"};
    for (const std::string& cut : cuts) {
        std::vector<LayoutEntry> entries = Parse(whole + cut);
        ASSERT_EQ(1u, entries.size()) << cut;
        EXPECT_EQ("close", entries[0].command);
    }
    // An unterminated last text still completes its record.
    std::vector<LayoutEntry> open = Parse("close 1 2 3 4 \"a\" \"b");
    ASSERT_EQ(1u, open.size());
    EXPECT_EQ("b", open[0].secondArgument);
}

TEST(ParseLayout, EmptyInputHasNoRecords) {
    EXPECT_TRUE(ParseLayout(nullptr, 0).empty());
    EXPECT_TRUE(Parse("# nothing here\r\n\r\n").empty());
}

}  // namespace
