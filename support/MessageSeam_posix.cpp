#include "support/MessageSeam.h"

#include <cstdio>

// No desktop here: a message becomes one line on stderr and counts as acknowledged.
int DefaultMessageHandler(void*, const char* text, const char* caption, unsigned style) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return (style & 0xFu) == kMbYesNo ? kIdYes : kIdOk;
}
