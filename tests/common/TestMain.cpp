// The main of every GoogleTest program. Under Wine, scripts/wine64-run.sh names a file in QV_STARTED_MARK; the
// program writes it as soon as its main runs, so that the wrapper can tell a start that Wine itself failed (the
// program never ran) from a test that ran and failed. Without the variable nothing is written.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (const char* mark = std::getenv("QV_STARTED_MARK")) {
        if (FILE* file = std::fopen(mark, "w")) {
            std::fputs("started\n", file);
            std::fclose(file);
        }
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
