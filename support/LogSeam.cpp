#include "support/LogSeam.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<LogLineWriter> gWriter{nullptr};
}  // namespace

void SetLogLineWriter(LogLineWriter writer) {
    gWriter.store(writer);
}

void WriteLogLine(const char* format, ...) {
    LogLineWriter writer = gWriter.load();
    if (!writer)
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    writer(line);
}
