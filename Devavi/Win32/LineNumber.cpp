#include "Devavi/Win32/LineNumber.h"

#include <cstdio>

namespace {
constexpr int kLineBufferCount = 10;
constexpr int kLineBufferSize = 32;

char gLineBuffers[kLineBufferCount][kLineBufferSize];
int gNextLineBuffer = 0;
}  // namespace

const char* FormatLineNumber(int number) {
    char* buffer = gLineBuffers[gNextLineBuffer];
    gNextLineBuffer = (gNextLineBuffer + 1) % kLineBufferCount;
    std::snprintf(buffer, kLineBufferSize, "%d", number);
    return buffer;
}
