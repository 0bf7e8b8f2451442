#include "support/StdioFile.h"

#include <cstdio>

std::FILE* OpenGbkFile(const char* path, const char* mode) {
    return std::fopen(path, mode);
}
