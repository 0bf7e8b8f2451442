#pragma once

// Diagnostic lines from portable code (the memory sink's file loading) reach the process's first debug
// log through this hook. Until a log registers itself, the lines are dropped.
using LogLineWriter = void (*)(const char* line);

void SetLogLineWriter(LogLineWriter writer);

// printf-style; the text is cut to 1023 bytes.
void WriteLogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
