#pragma once

#include <windows.h>

#include <string>

#include "Devavi/Win32/LineNumber.h"

// String values in the registry.
//
// A value reads only when it is a REG_SZ whose data (terminator included) is shorter than 1000 bytes; anything
// else counts as absent, and on false the output keeps what it held. An empty value reads as an empty string.
bool RegReadString(HKEY root, const char* keyPath, const char* valueName, std::string& value);

// Writes text (with its terminating NUL) as a REG_SZ, creating the key if needed. A failure is reported with the
// REGCHECK box, caption "49" when the key cannot be created or opened and "50" when the value cannot be set;
// a key that cannot be created shows both, and nothing is written. True when the value was set; callers that
// cannot go on without it check the answer.
bool RegWriteString(HKEY root, const char* keyPath, const char* valueName, const char* text);

// The text of the REGCHECK box.
extern const char kRegCheckText[];
