// The tables the package tool prints for the scripts that drive the window: the layout file's first record of each
// command word with its control identifier, and the program's facts about the game.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/common/TempDir.h"
#include "tools/packtool/ProgramFacts.h"

namespace {

const char kLayoutHeader[] = "# command\tid\tleft\ttop\tright\tbottom\tfirst\tsecond\n";

// What a writer put into a stream, read back whole.
std::string Written(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[256];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, read);
    return text;
}

struct LayoutOutput {
    bool ok = false;
    std::string text;
    std::string error;
};

LayoutOutput PrintLayout(const std::string& layout) {
    LayoutOutput output;
    std::FILE* file = std::tmpfile();
    if (!file)
        return output;
    output.ok =
        WriteLayoutTable(reinterpret_cast<const unsigned char*>(layout.data()), layout.size(), file, &output.error);
    output.text = Written(file);
    std::fclose(file);
    return output;
}

TEST(LayoutTable, PrintsTheFirstRecordOfEachWordWithItsControlId) {
    const struct {
        const char* what;
        std::string layout;
        std::string lines;  // after the header
    } cases[] = {
        {"nothing in the file", "", ""},
        {"one record", "close, 361, 212, 437, 252, \"\", \"\"\r\n", "close\t1000\t361\t212\t437\t252\t\t\n"},
        {"a later record of the same word is left out, but counts for the ids of those after it",
         "msgbox 1 2 3 4 \"a\" \"A\"\r\nmsgbox 5 6 7 8 \"b\" \"B\"\r\ninstall 9 10 11 12 \"\" \"\"\r\n",
         "msgbox\t1000\t1\t2\t3\t4\ta\tA\ninstall\t1002\t9\t10\t11\t12\t\t\n"},
        {"a commented record has no id", "#close 1 2 3 4 \"\" \"\"\r\nclose 5 6 7 8 \"\" \"\"\r\n",
         "close\t1000\t5\t6\t7\t8\t\t\n"},
        {"words differ by case, as the window compares them", "close 1 2 3 4 \"\" \"\" Close 5 6 7 8 \"\" \"\"",
         "close\t1000\t1\t2\t3\t4\t\t\nClose\t1001\t5\t6\t7\t8\t\t\n"},
        {"numbers as the program reads them", "text -5 +7 12px x \"percent\" \"\"",
         "text\t1000\t-5\t7\t12\t0\tpercent\t\n"},
        {"a line feed, written out or not, is printed as the file writes it", "msgbox 1 2 3 4 \"a\\r\\nb\" \"c\nd\"",
         "msgbox\t1000\t1\t2\t3\t4\ta\\r\\nb\tc\\r\\nd\n"},
        {"GBK bytes as stored, a trail byte 0x5C included", "iejump 1 2 3 4 \"\xD7\xD6\x9C\x5C\" \"\"",
         "iejump\t1000\t1\t2\t3\t4\t\xD7\xD6\x9C\x5C\t\n"},
        {"a record cut short by the end is dropped", "close 1 2 3 4 \"\" \"\" install 5 6 7 8 \"\"",
         "close\t1000\t1\t2\t3\t4\t\t\n"},
    };
    for (const auto& c : cases) {
        const LayoutOutput output = PrintLayout(c.layout);
        EXPECT_TRUE(output.ok) << c.what << ": " << output.error;
        EXPECT_EQ(kLayoutHeader + c.lines, output.text) << c.what;
    }
}

// A tab or a carriage return inside a printed text would break the line apart: nothing is printed and the record
// is named. In a later record of a word already printed it does not matter.
TEST(LayoutTable, RefusesATextThatOneLineCannotShow) {
    const struct {
        const char* what;
        std::string layout;
        bool ok;
        const char* named;
    } cases[] = {
        {"a tab in the first text", "close 1 2 3 4 \"\" \"\" msgbox 1 2 3 4 \"a\tb\" \"\"", false, "record 1 (msgbox)"},
        {"a carriage return in the second", "msgbox 1 2 3 4 \"a\" \"b\rc\"", false, "record 0 (msgbox)"},
        {"in a record left out", "msgbox 1 2 3 4 \"a\" \"\" msgbox 1 2 3 4 \"a\tb\" \"\"", true, ""},
    };
    for (const auto& c : cases) {
        const LayoutOutput output = PrintLayout(c.layout);
        EXPECT_EQ(c.ok, output.ok) << c.what;
        if (!c.ok) {
            EXPECT_EQ("", output.text) << c.what;
            EXPECT_NE(std::string::npos, output.error.find(c.named)) << c.what << ": " << output.error;
        }
    }
}

// The scripts look the facts up by these names; each is printed once, with a value.
TEST(FactTable, NamesEveryFactTheScriptsReadOnce) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(nullptr, file);
    WriteFactTable(file);
    const std::string text = Written(file);
    std::fclose(file);
    ASSERT_EQ(0u, text.find("# fact\tvalue\n"));
    for (const char* name : {"install-key", "game-folder-value", "installed-folder-value", "geforce2mx-value",
                             "first-control-id", "save-folder", "save-file"}) {
        const std::string start = std::string("\n") + name + "\t";
        const size_t at = text.find(start);
        ASSERT_NE(std::string::npos, at) << name;
        EXPECT_EQ(std::string::npos, text.find(start, at + 1)) << name;
        EXPECT_NE('\n', text[at + start.size()]) << name << " has no value";
    }
    EXPECT_NE(std::string::npos, text.find("\ninstall-key\tHKCU\\Software\\")) << text;
}

#ifdef QV_PACKTOOL
// Through the tool: the shipped demo layout prints one line per word; a missing file or a missing argument is a
// usage error with nothing on stdout.
TEST(LayoutTable, ThroughTheTool) {
    TempDir dir;
    const std::string out = dir.Join("out");
    const std::string tool = std::string(QV_PACKTOOL) + " layout ";
    ASSERT_TRUE(WriteBytes(dir.Join("winpos.txt"), "# layout\r\n\r\nclose, 361, 212, 437, 252, \"\", \"\"\r\n"));
    ASSERT_EQ(0, std::system((tool + "'" + dir.Join("winpos.txt") + "' >'" + out + "'").c_str()));
    std::string text;
    ASSERT_TRUE(ReadBytes(out, &text));
    EXPECT_EQ(std::string(kLayoutHeader) + "close\t1000\t361\t212\t437\t252\t\t\n", text);

    for (const std::string& arguments : {"'" + dir.Join("missing.txt") + "'", std::string()}) {
        const int status = std::system((tool + arguments + " >'" + out + "' 2>/dev/null").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << arguments;
        ASSERT_TRUE(ReadBytes(out, &text));
        EXPECT_EQ("", text) << arguments;
    }
}
#endif

}  // namespace
