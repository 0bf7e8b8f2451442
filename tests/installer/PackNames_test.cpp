#include <gtest/gtest.h>

#include <string>

#include "installer/FileHelpers.h"

TEST(IsContainedName, NamesInsideTheFolderPass) {
    for (const std::string name : {"quorvan", "quorvan\\data\\a.png", "quorvan/data/a.png", "quorvan\\.svn\\x",
                                   "quorvan\\a..b", "quorvan\\..a", "quorvan\\\x95\x5C.txt", "quorvan\\\x95"}) {
        EXPECT_TRUE(IsContainedName(name.c_str())) << name;
    }
}

TEST(IsContainedName, NamesLeadingOutOrToTheFolderItselfAreRefused) {
    for (const std::string name : {"", "\\quorvan\\a", "/quorvan", "quorvan\\..\\a", "quorvan/../a", "quorvan\\..",
                                   "quorvan\\.\\a", "quorvan\\...\\a", "quorvan\\.. \\a", "quorvan\\\\a", "quorvan\\",
                                   "c:quorvan", "quorvan\\a:stream", "quorvan\\a\\. "}) {
        EXPECT_FALSE(IsContainedName(name.c_str())) << name;
    }
    EXPECT_FALSE(IsContainedName(nullptr));
}
