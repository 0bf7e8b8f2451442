#include <gtest/gtest.h>

#include <string>

#include "installer/FailureList.h"
#include "installer/FileHelpers.h"

namespace {

const char kHeading[] = "安装结束, 但有 %u 项未能完成:";

FailureList Numbered(size_t count) {
    FailureList list;
    for (size_t i = 1; i <= count; ++i)
        list.Add(i % 2 ? Failure::kWrite : Failure::kChecked, "quorvan\\file" + std::to_string(i));
    return list;
}

TEST(FailureSummary, NamesEveryItemUpToFiveAndWhereTheLogIs) {
    EXPECT_EQ(
        "安装结束, 但有 2 项未能完成:\r\n"
        "    无法写入: quorvan\\file1\r\n"
        "    校验失败, 已写入: quorvan\\file2\r\n"
        "完整列表: C:\\SM3\\quorvan\\install-errors.txt",
        FailureSummary(Numbered(2), kHeading, "C:\\SM3\\quorvan\\install-errors.txt", true));
}

TEST(FailureSummary, MoreThanFiveItemsEndInAnEllipsisAndAnUnwrittenLogIsSaidToBeSo) {
    const std::string text = FailureSummary(Numbered(7), kHeading, "D:\\log.txt", false);
    EXPECT_EQ(0u, text.find("安装结束, 但有 7 项未能完成:\r\n"));
    EXPECT_NE(std::string::npos, text.find("    无法写入: quorvan\\file5\r\n    ...\r\n完整列表未能写入: D:\\log.txt"));
    EXPECT_EQ(std::string::npos, text.find("file6"));
}

TEST(FailureLogText, HoldsEveryItemOneALine) {
    FailureList list = Numbered(7);
    list.Add(Failure::kLibrary, "SavePatch.qvx");
    const std::string text = FailureLogText(list, "heading");
    EXPECT_EQ(0u, text.find("heading\r\n无法写入: quorvan\\file1\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\n无法写入: quorvan\\file7\r\n资源安装库未能运行: SavePatch.qvx\r\n"));
    EXPECT_EQ(text.size() - 2, text.rfind("\r\n"));
}

TEST(RelativeTo, CutsTheFolderOffPathsInsideItWhateverTheirCase) {
    EXPECT_EQ("quorvan\\a.txt", RelativeTo("C:\\Games\\SM3", "c:\\games\\sm3/quorvan\\a.txt"));
    EXPECT_EQ("psrpc.dll", RelativeTo("C:\\Games\\SM3", "C:\\Games\\SM3/psrpc.dll"));
    // Not inside: another folder with the same start, the folder itself, or a GBK name that differs.
    EXPECT_EQ("C:\\Games\\SM3x\\a", RelativeTo("C:\\Games\\SM3", "C:\\Games\\SM3x\\a"));
    EXPECT_EQ("C:\\Games\\SM3", RelativeTo("C:\\Games\\SM3", "C:\\Games\\SM3"));
    EXPECT_EQ("C:\\\xC8\xFD\\a", RelativeTo("C:\\\xE8\xFD", "C:\\\xC8\xFD\\a"));
}

}  // namespace
