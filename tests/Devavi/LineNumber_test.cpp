#include <gtest/gtest.h>

#include <string>

#include "Devavi/Win32/LineNumber.h"

TEST(FormatLineNumber, ResultSurvivesNineFurtherCalls) {
    const char* first = FormatLineNumber(49);
    for (int i = 0; i < 9; ++i)
        FormatLineNumber(1000 + i);
    EXPECT_STREQ("49", first);
    FormatLineNumber(-7);  // the tenth further call takes that buffer again
    EXPECT_STREQ("-7", first);
}
